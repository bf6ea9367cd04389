// The results panel's tree over a synthetic result of 1,000,000 files (10 folders of 100,000
// files in one partition). Prints the seconds from the finished views to the first painted tree,
// and of expanding one folder of 100,000 files until it is painted; the seconds of sorting the
// whole tree by size; and the pictures tab over 10,000 pictures: its first paint and the slowest
// page while scrolling it from top to bottom (thumbnails asked for, none decoded). Runs on Qt's
// offscreen platform unless another is set.
//
//   results-panel [--files-per-folder N] [--folders N]
#include <QApplication>
#include <QListView>
#include <QScrollBar>
#include <QElapsedTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "CKivNodeModel.h"
#include "CKivThumbModel.h"
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

    t.restart();
    model.sort(CKivNodeModel::COL_SIZE, Qt::DescendingOrder);
    std::printf("sort %ld files by size: %.3f s\n", nPerFolder * nFolders, static_cast<double>(t.nsecsElapsed()) / 1e9);

    // The pictures: the first 10,000 files of the first folder.
    std::vector<CKivUiNode*> pictures(part->GetChildren()[0]->GetChildren().begin(),
                                      part->GetChildren()[0]->GetChildren().begin() + std::min<long>(10000, nPerFolder));
    t.restart();
    QListView list;
    list.setViewMode(QListView::IconMode);
    list.setUniformItemSizes(true);
    list.setLayoutMode(QListView::Batched);
    list.setBatchSize(500);
    list.setMovement(QListView::Static);
    list.setResizeMode(QListView::Adjust);
    list.setIconSize(QSize(CKivThumbModel::kSide, CKivThumbModel::kSide));
    list.setGridSize(QSize(CKivThumbModel::kSide + 28, CKivThumbModel::kSide + 40));
    list.resize(896, 384);
    PaintCounter listPaints;
    list.viewport()->installEventFilter(&listPaints);
    CKivThumbModel thumbs(nullptr, nullptr, pictures, nullptr);
    list.setModel(&thumbs);
    list.show();
    double firstList = WaitForPaint(listPaints, t);
    std::printf("pictures: %zu, first painted page: %.3f s\n", pictures.size(), firstList);
    double worst = 0;
    int nPages = 0;
    QScrollBar* bar = list.verticalScrollBar();
    while (bar->value() < bar->maximum() && nPages < 100000) {
        t.restart();
        bar->setValue(bar->value() + bar->pageStep());
        worst = std::max(worst, WaitForPaint(listPaints, t));
        ++nPages;
    }
    std::printf("scrolled %d pages: slowest %.4f s (target < 0.016 s), thumbnails asked %d\n", nPages, worst,
                thumbs.Asked());
    root->Release();
    return 0;
}
