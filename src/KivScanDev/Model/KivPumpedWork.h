// Long work that a caller's thread waits for while it keeps pumping its window messages (the tree
// builders run this way).
#pragma once

#include <functional>

// Runs fn on a worker thread and pumps messages until it ends; runs it here when no thread can be
// started. fn must not throw.
void KivRunPumped(const std::function<void()>& fn);
