#include "CliView.h"

#include <CLI/CLI.hpp>

#include "CliParse.h"
#include "CliSession.h"
#include "KivUiCodes.h"

void CliAddViewOptions(CLI::App* pCmd, CliViewOptions& opts) {
    pCmd->add_option("--view", opts.strView,
                     "The result as the desktop program shows it: 'folder' (lost folders and carved files "
                     "under \"Unknow path\") or 'type' (files by category and extension)")
        ->check(CLI::IsMember({"folder", "type"}));
    pCmd->add_option("--name", opts.strName, "Only files whose name contains TEXT (letter case ignored)");
    pCmd->add_option("--larger-than", opts.strLarger, "Only files larger than SIZE (e.g. 500, 10K, 1.5M, 2G)");
    pCmd->add_option("--smaller-than", opts.strSmaller, "Only files smaller than SIZE");
    pCmd->add_option("--created", opts.strCreated,
                     "Only files created within FROM..TO (ISO 8601: 2024-01-31, 2024-01-31T08:30Z; "
                     "either end may be left open)");
    pCmd->add_option("--modified", opts.strModified, "Only files modified within FROM..TO (as --created)");
}

bool CliParseFilter(const CliViewOptions& o, CKivResultFilter* pFilter, std::string* pError) {
    pFilter->SetKey(o.strName);
    uint64_t n = 0;
    if (!o.strLarger.empty()) {
        if (!CliParseSize(o.strLarger, &n)) {
            *pError = "--larger-than: '" + o.strLarger + "' is no size (e.g. 500, 10K, 1.5M, 2G)";
            return false;
        }
        pFilter->SetLargerThan(n);
    }
    if (!o.strSmaller.empty()) {
        if (!CliParseSize(o.strSmaller, &n)) {
            *pError = "--smaller-than: '" + o.strSmaller + "' is no size (e.g. 500, 10K, 1.5M, 2G)";
            return false;
        }
        pFilter->SetSmallerThan(n);
    }
    struct {
        const std::string& text;
        const char* name;
        CKivResultFilter::DateKind kind;
    } ranges[] = {{o.strCreated, "--created", CKivResultFilter::DATE_CREATE},
                  {o.strModified, "--modified", CKivResultFilter::DATE_MODIFY}};
    for (const auto& r : ranges) {
        if (r.text.empty()) continue;
        uint64_t nFrom = 0, nTo = 0;
        if (!CliParseTimeRange(r.text, &nFrom, &nTo)) {
            *pError = std::string(r.name) + ": '" + r.text +
                      "' is no time range FROM..TO of ISO 8601 dates (e.g. 2024-01-01..2024-06-30)";
            return false;
        }
        pFilter->SetDateTest(r.kind, nFrom, nTo);
    }
    return true;
}

int CliOpenView(CliSession& session, const CliViewOptions& opts, const CKivResultFilter& filter,
                CKivResultController::View* pView, CKivUiNode** ppRoot) {
    *ppRoot = nullptr;
    *pView = opts.strView == "type" ? CKivResultController::VIEW_TYPE : CKivResultController::VIEW_DIR;
    CKivResultController* pCtl = session.Results();
    if (!pCtl || !session.Root()) return CLI_EXIT_OK;
    if (!opts.HasFilter()) {
        *ppRoot = pCtl->Root(*pView);
        return CLI_EXIT_OK;
    }
    *pView = CKivResultController::VIEW_FILTER;
    CKivUiNode* pRoot = nullptr;
    KivResult rc = pCtl->ApplyFilter(filter, &pRoot);
    if (KivErrNo(rc) == KIV_E_NOTHINGFOUND) {
        CliError("no file passes the filter");
        return CLI_EXIT_OK;
    }
    if (KivFailed(rc)) {
        CliCodeError("the filter could not be applied", rc);
        return CLI_EXIT_FAILED;
    }
    *ppRoot = pRoot;
    return CLI_EXIT_OK;
}

const char* CliStateText(IKivFileAttr* pAttr) {
    uint8_t s = pAttr->GetRecordState();
    if (pAttr->GetAttrKind() == KIV_ATTR_RAW) return (s & KIV_REC_DAMAGED) ? "carved, damaged" : "carved";
    if (s & KIV_REC_RECONSTRUCTED) return "rebuilt";
    if (s & KIV_REC_DAMAGED) return (s & KIV_REC_DELETED) ? "deleted, damaged" : "damaged";
    return (s & KIV_REC_DELETED) ? "deleted" : "existing";
}
