// The results panel: the folder view, the type view and the filter's list in tabs, each a tree
// with tri-state ticks and the running totals of what is ticked; the filter dialog, the preview of
// one file, "Save scan..." (the scan into a session file, to come back to without scanning again),
// and Next as "Recover…": the destination dialog, the recovery and its result.
#pragma once

#include <atomic>
#include <memory>

#include "CKivResultController.h"
#include "CPanelBase.h"

class QLabel;
class QPushButton;
class QTabWidget;
class QListView;
class QTreeView;
class CKivThumbModel;
class CKivThumbnailer;
class CKivNodeModel;
class CKivUiNode;
class CPanelFinal;

class CPanelFileRes : public CPanelBase {
    Q_OBJECT
public:
    explicit CPanelFileRes(QWidget* pParent);
    ~CPanelFileRes() override;

    void SetFinal(CPanelFinal* pFinal) { m_pFinal = pFinal; }
    // The views of a scan are shown (Back from here and Next on the file types keep them).
    bool HasViews() const { return m_pModels[CKivResultController::VIEW_DIR] != nullptr; }
    // The line above the views: the scan complete, or stopped at its percentage.
    QString ScanStateText() const;
    QPushButton* GoOnButton() const { return m_pGoOn; }

    // Lets go of the trees before a new scan replaces them (ticks and totals start again).
    void Forget();
    // Builds the views of the last scan under the build dialog (once per scan). 0x05A when the
    // scan found nothing to show.
    KivResult Build();
    // The same for the scan just made or taken over, which may have found no partition at all
    // (0x05A then too).
    KivResult BuildScan();

    void OnEnter() override;
    bool OnNext() override;

    // The tab shown, as the controller's view.
    CKivResultController::View CurrentView() const;
    void ShowView(CKivResultController::View view);
    QTreeView* Tree(CKivResultController::View view) const { return m_pTrees[view]; }
    // The pictures tab: thumbnails of the folder view's pictures, ticked with it.
    static constexpr int kPicturesTab = 3;
    void ShowPictures();
    bool PicturesShown() const;
    QListView* Pictures() const { return m_pPictures; }
    CKivThumbModel* PicturesModel() const { return m_pThumbModel; }
    CKivThumbnailer* Thumbnailer() const { return m_pThumbs.get(); }
    CKivNodeModel* Model(CKivResultController::View view) const { return m_pModels[view]; }
    CKivResultController* Controller() const { return m_pCtl.get(); }
    QString TotalsText() const;

    // The filter dialog's result applied (on the filter's worker); the list is shown in its tab.
    KivResult ApplyFilter(const CKivResultFilter& filter);
    // Recovers the file into the preview folder and shows it (or opens it with the desktop's
    // program). 0x053 when it could not be recovered.
    KivResult Preview(CKivUiNode* pFile);
    void OnFilter();
    void OnPreview();
    // Saves the scan shown into the file (what "Save scan..." does once a file is chosen) and
    // says how it went; false when it failed.
    bool SaveScan(const QString& strFile);
    void OnSaveScan();
    // "Go on scanning…" of a stopped scan: saved into a file of the user's choice, then opened
    // again, which scans the rest.
    void OnGoOn();

signals:
    void GoOnRequested(const QString& strFile);

private:
    void SetModel(CKivResultController::View view, CKivUiNode* pRoot);
    void UpdateTotals();
    void UpdateScanState();
    void SetPictures();
    // Keeps the thumbnails' worker off the engine while the panel uses it.
    struct ThumbPause {
        explicit ThumbPause(CPanelFileRes* p);
        ~ThumbPause();
        CKivThumbnailer* m_p;
    };
    CKivUiNode* CurrentNode() const;
    void OnContextMenu(const QPoint& pos);

    QTabWidget* m_pTabs;
    QTreeView* m_pTrees[3];
    CKivNodeModel* m_pModels[3] = {nullptr, nullptr, nullptr};
    QLabel* m_pTotals;
    QListView* m_pPictures;
    CKivThumbModel* m_pThumbModel = nullptr;
    std::unique_ptr<CKivThumbnailer> m_pThumbs;
    // Counts the views made: a thumbnail decoded for views since let go of is dropped.
    std::atomic<int> m_nViews{0};
    QLabel* m_pState;
    QPushButton* m_pGoOn;
    CPanelFinal* m_pFinal = nullptr;
    std::unique_ptr<CKivResultController> m_pCtl;
    bool m_bBusy = false;
};
