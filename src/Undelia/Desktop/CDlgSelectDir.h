// The destination dialog: a folder tree of the machine, the folder chosen, its free space against
// what is ticked, and a button for a new folder. OK holds the dialog until the choice is an
// existing folder with room for 110 % of the ticked bytes, or the user accepts less; a folder typed
// that does not exist yet is offered for creation. It opens at the folder chosen last time.
#pragma once

#include <QDialog>

class QFileSystemModel;
class QLabel;
class QLineEdit;
class QTreeView;

class CDlgSelectDir : public QDialog {
    Q_OBJECT
public:
    CDlgSelectDir(uint64_t nBytes, QWidget* pParent);

    QString Folder() const;
    void SetFolder(const QString& strPath);
    // The OK button: the checks, then accept.
    void OnOk();
    void OnNewFolder();

protected:
    bool eventFilter(QObject* pObj, QEvent* pEvent) override;

private:
    void UpdateFree();

    uint64_t m_nBytes;
    QFileSystemModel* m_pModel;
    QTreeView* m_pTree;
    QLineEdit* m_pPath;
    QLabel* m_pFree;
    class QPushButton* m_pOk = nullptr;
};
