// Long work that a caller's thread waits for while it keeps pumping its window messages (the tree
// builders run this way).
#pragma once

#include <functional>

class IKivFsNode;

// Runs fn on a worker thread and pumps messages until it ends; runs it here when no thread can be
// started. fn must not throw.
void KivRunPumped(const std::function<void()>& fn);

// A tree built so: a build that throws yields no tree (logged under pszWho), never an exception
// across the engine's boundary.
IKivFsNode* KivBuildPumped(const char* pszWho, const std::function<IKivFsNode*()>& build);
