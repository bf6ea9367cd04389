#include "CDlgFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "CKivSkin.h"

namespace {

// File time (100 ns since 1601, UTC) of a moment.
uint64_t FileTimeOf(const QDateTime& t) {
    constexpr int64_t kUnixEpoch = 11644473600LL;
    int64_t s = t.toSecsSinceEpoch() + kUnixEpoch;
    return s < 0 ? 0 : static_cast<uint64_t>(s) * 10000000ULL;
}

}  // namespace

CDlgFilter::CDlgFilter(QWidget* pParent) : QDialog(pParent) {
    const CKivSkin& skin = CKivSkin::Get();
    setObjectName("DlgFilter");
    setWindowTitle(skin.Text("DlgFilter", "Title", "Filter the results"));
    setMinimumSize(skin.Size("DlgFilter", "Size", QSize(460, 330)));
    auto* pGrid = new QGridLayout;
    pGrid->setColumnStretch(2, 1);
    m_pKey = new QLineEdit(this);
    m_pKey->setObjectName("FilterKey");
    pGrid->addWidget(new QLabel(skin.Text("DlgFilter", "TxtKey", "Name contains:"), this), 0, 0);
    pGrid->addWidget(m_pKey, 0, 1, 1, 3);

    m_pSizeOn = new QCheckBox(skin.Text("DlgFilter", "TxtSize", "Size"), this);
    m_pSizeKind = new QComboBox(this);
    m_pSizeKind->addItems(skin.List("DlgFilter", "SizeKinds").isEmpty() ? QStringList{"More than", "Less than"}
                                                                         : skin.List("DlgFilter", "SizeKinds"));
    m_pSize = new QSpinBox(this);
    m_pSize->setRange(0, 1 << 30);
    m_pUnit = new QComboBox(this);
    m_pUnit->addItems(skin.List("DlgFilter", "Units").isEmpty() ? QStringList{"bytes", "KiB", "MiB", "GiB"}
                                                                : skin.List("DlgFilter", "Units"));
    m_pUnit->setCurrentIndex(1);
    pGrid->addWidget(m_pSizeOn, 1, 0);
    pGrid->addWidget(m_pSizeKind, 1, 1);
    pGrid->addWidget(m_pSize, 1, 2);
    pGrid->addWidget(m_pUnit, 1, 3);

    m_pDateOn = new QCheckBox(skin.Text("DlgFilter", "TxtDate", "Date"), this);
    m_pDateKind = new QComboBox(this);
    m_pDateKind->addItems(skin.List("DlgFilter", "DateKinds").isEmpty() ? QStringList{"Create", "Modify"}
                                                                         : skin.List("DlgFilter", "DateKinds"));
    m_pDateKind->setCurrentIndex(1);
    m_pFrom = new QDateTimeEdit(QDateTime::currentDateTime().addYears(-1), this);
    m_pTo = new QDateTimeEdit(QDateTime::currentDateTime(), this);
    for (QDateTimeEdit* p : {m_pFrom, m_pTo}) {
        p->setCalendarPopup(true);
        p->setDisplayFormat("yyyy-MM-dd HH:mm");
    }
    pGrid->addWidget(m_pDateOn, 2, 0);
    pGrid->addWidget(m_pDateKind, 2, 1);
    pGrid->addWidget(new QLabel(skin.Text("DlgFilter", "TxtFrom", "From:"), this), 3, 0, Qt::AlignRight);
    pGrid->addWidget(m_pFrom, 3, 1, 1, 3);
    pGrid->addWidget(new QLabel(skin.Text("DlgFilter", "TxtTo", "To:"), this), 4, 0, Qt::AlignRight);
    pGrid->addWidget(m_pTo, 4, 1, 1, 3);

    // The values of a test that is off are greyed out.
    auto enable = [this] {
        for (QWidget* w : {static_cast<QWidget*>(m_pSizeKind), static_cast<QWidget*>(m_pSize), static_cast<QWidget*>(m_pUnit)})
            w->setEnabled(m_pSizeOn->isChecked());
        for (QWidget* w : {static_cast<QWidget*>(m_pDateKind), static_cast<QWidget*>(m_pFrom), static_cast<QWidget*>(m_pTo)})
            w->setEnabled(m_pDateOn->isChecked());
    };
    connect(m_pSizeOn, &QCheckBox::toggled, this, enable);
    connect(m_pDateOn, &QCheckBox::toggled, this, enable);
    enable();

    auto* pButtons = new QDialogButtonBox(this);
    QPushButton* pOk = pButtons->addButton(skin.Text("DlgFilter", "Ok", "Apply"), QDialogButtonBox::AcceptRole);
    pOk->setDefault(true);
    pButtons->addButton(skin.Text("DlgFilter", "Cancel", "Cancel"), QDialogButtonBox::RejectRole);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(20, 18, 20, 14);
    pLayout->addLayout(pGrid);
    pLayout->addStretch(1);
    pLayout->addWidget(pButtons);
}

CKivResultFilter CDlgFilter::Filter() const {
    CKivResultFilter f;
    f.SetKey(m_pKey->text().trimmed().toStdString());
    if (m_pSizeOn->isChecked())
        f.SetSizeTest(m_pSizeKind->currentIndex() == 1 ? CKivResultFilter::SIZE_LESS_THAN : CKivResultFilter::SIZE_MORE_THAN,
                      static_cast<uint64_t>(m_pSize->value()), static_cast<CKivResultFilter::SizeUnit>(m_pUnit->currentIndex()));
    if (m_pDateOn->isChecked())
        f.SetDateTest(m_pDateKind->currentIndex() == 0 ? CKivResultFilter::DATE_CREATE : CKivResultFilter::DATE_MODIFY,
                      FileTimeOf(m_pFrom->dateTime()), FileTimeOf(m_pTo->dateTime()));
    return f;
}
