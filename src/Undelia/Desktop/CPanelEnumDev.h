// The device panel: the machine's disks (whole-disk mode) or their partitions and volumes, with
// kind, name, size, label and mount point; disk images can be added as disks. Next keeps the
// choice in the back-stage with the texts the later panels show.
#pragma once

#include <QStringList>

#include "CPanelBase.h"

class QLabel;
class QTreeWidget;

class CPanelEnumDev : public CPanelBase {
    Q_OBJECT
public:
    explicit CPanelEnumDev(QWidget* pParent);

    void OnEnter() override;
    bool OnNext() override;

    // Lists the file as one more disk and selects it (or, in partition mode, its first
    // partition). False, after telling the user, when it cannot be listed.
    bool AddImage(const QString& strPath);
    // Lists the devices again from the system.
    void Refresh();

    QTreeWidget* List() const { return m_pList; }
    QString InfoText() const;

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    // The text under the list gets the lines it needs (the list gives them up), so no reason is
    // ever cut off mid-sentence.
    void FitInfo();

    void Fill(bool bRefresh);
    void OnAddImage();
    void SelectRow(int nRow);

    QTreeWidget* m_pList;
    QLabel* m_pInfo;
    QStringList m_images;
};
