// The result views of the program core on the command line: --view folder|type, the result
// filter (--name, --larger-than, --smaller-than, --created, --modified), walking a display tree
// in the order it shows, and the state words of an entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CKivResultController.h"
#include "CKivResultFilter.h"
#include "CKivUiNode.h"

namespace CLI {
class App;
}
class CliSession;

struct CliViewOptions {
    std::string strView;  // "folder", "type" (empty: the command's own default)
    std::string strName, strLarger, strSmaller, strCreated, strModified;

    bool HasFilter() const {
        return !strName.empty() || !strLarger.empty() || !strSmaller.empty() || !strCreated.empty() ||
               !strModified.empty();
    }
};

void CliAddViewOptions(CLI::App* pCmd, CliViewOptions& opts);
// Reads the filter options; false with the reason for a text that cannot be read.
bool CliParseFilter(const CliViewOptions& opts, CKivResultFilter* pFilter, std::string* pError);

// The view the options ask for, after BuildTree: the filter view when a filter is given (built
// now), else the type or folder view. *ppRoot stays null when no file passes the filter (a line
// says so).
int CliOpenView(CliSession& session, const CliViewOptions& opts, const CKivResultFilter& filter,
                CKivResultController::View* pView, CKivUiNode** ppRoot);

// "existing", "deleted", "carved", "rebuilt", "damaged", "deleted, damaged".
const char* CliStateText(IKivFileAttr* pAttr);

// Depth-first in display order, without recursion (hostile trees may be deep). fn(node, path,
// depth) with the path in this view ("Pictures/jpg/F0001.JPG"); the root itself is not visited.
template <class Fn>
void CliWalkView(CKivUiNode* pRoot, Fn&& fn) {
    struct Entry {
        CKivUiNode* pNode;
        std::string path;
        int depth;
    };
    std::vector<Entry> stack;
    const auto& top = pRoot->GetChildren();
    for (auto it = top.rbegin(); it != top.rend(); ++it) stack.push_back({*it, (*it)->GetName(), 0});
    while (!stack.empty()) {
        Entry e = std::move(stack.back());
        stack.pop_back();
        fn(e.pNode, e.path, e.depth);
        const auto& kids = e.pNode->GetChildren();
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            stack.push_back({*it, e.path + "/" + (*it)->GetName(), e.depth + 1});
    }
}
