// The results panel's tree over a synthetic result of 1,000,000 files (10 folders of 100,000
// files in one partition). Prints the seconds from the finished views to the first painted tree,
// and of expanding one folder of 100,000 files until it is painted. Runs on Qt's offscreen
// platform unless another is set.
//
//   results-panel [--files-per-folder N] [--folders N]
#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>
#include <cstdio>
#include <cstring>
#include <string>

#include "CKivNodeModel.h"
#include "CKivUiNode.h"

namespace {

// Counts the paints of the view's viewport.
class PaintCounter : public QObject {
public:
    int n = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++n;
        return QObject::eventFilter(o, e);
    }
};

double WaitForPaint(PaintCounter& counter, QElapsedTimer& t) {
    int n = counter.n;
    while (counter.n == n && t.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    long nPerFolder = 100000, nFolders = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--files-per-folder")) nPerFolder = std::atol(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--folders")) nFolders = std::atol(argv[i + 1]);
    }
    QApplication app(argc, argv);

    CKivUiNode* root = CKivUiNode::NewFolder(CKivUiNode::KIND_ROOT, "");
    CKivUiNode* part = CKivUiNode::NewFolder(CKivUiNode::KIND_PART, "NTFS 1");
    root->AppendChild(part);
    for (long f = 0; f < nFolders; ++f) {
        CKivUiNode* dir = CKivUiNode::NewFolder(CKivUiNode::KIND_DIR, "Folder " + std::to_string(f));
        part->AppendChild(dir);
        std::vector<CKivUiNode*> files;
        files.reserve(static_cast<size_t>(nPerFolder));
        for (long i = 0; i < nPerFolder; ++i) {
            CKivUiNode* p = CKivUiNode::NewFolder(CKivUiNode::KIND_FILE, "IMG_" + std::to_string(i) + ".JPG");
            p->SetParent(dir);
            files.push_back(p);
        }
        dir->SetChildren(std::move(files));
    }
    std::printf("files: %ld in %ld folders\n", nPerFolder * nFolders, nFolders);

    // "Build done": the views exist; what follows is the panel's own work.
    QElapsedTimer t;
    t.start();
    QTreeView view;
    view.resize(896, 384);
    view.setUniformRowHeights(true);
    PaintCounter counter;
    view.viewport()->installEventFilter(&counter);
    CKivNodeModel model(nullptr, CKivResultController::VIEW_DIR, root, nullptr);
    view.setModel(&model);
    view.expand(model.index(0, 0));
    view.show();
    double first = WaitForPaint(counter, t);
    std::printf("first painted tree: %.3f s (target < 1 s)\n", first);

    t.restart();
    view.expand(model.index(0, 0, model.index(0, 0)));
    view.viewport()->update();
    double expand = WaitForPaint(counter, t);
    std::printf("expand a folder of %ld files: %.3f s (target < 0.2 s)\n", nPerFolder, expand);

    t.restart();
    view.scrollToBottom();
    double bottom = WaitForPaint(counter, t);
    std::printf("scroll to its last file: %.3f s\n", bottom);
    root->Release();
    return 0;
}
