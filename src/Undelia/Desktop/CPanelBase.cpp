#include "CPanelBase.h"

#include <QLabel>
#include <QPushButton>

#include "CKivSkin.h"
#include "CKivSkinLayout.h"
#include "CStepBar.h"

CPanelBase::CPanelBase(const char* pszSection, int nStep, QWidget* pParent)
    : QWidget(pParent), m_pszSection(pszSection) {
    const CKivSkin& skin = CKivSkin::Get();
    setObjectName(QString::fromLatin1(pszSection));
    // Placed for the skin's panel area; the panel follows the window from there.
    resize(skin.PanelAreaSize());
    CKivSkinLayout::Of(this)->SetDesignSize(skin.PanelAreaSize());
    m_pTitle = new QLabel(skin.Text(pszSection, "Title"), this);
    m_pTitle->setObjectName("PanelTitle");
    skin.Place(m_pTitle, "Panel", "StTitle", CKivSkinLayout::WIDTH);
    m_pSteps = new CStepBar(nStep, this);
    skin.Place(m_pSteps, "Panel", "StepBar", CKivSkinLayout::WIDTH);
    m_pBack = new QPushButton(skin.Text("Panel", "BackText", "Back"), this);
    m_pBack->setObjectName("BackBtn");
    skin.Place(m_pBack, "Panel", "BackBtn", CKivSkinLayout::RIGHT | CKivSkinLayout::BOTTOM);
    m_pNext_ = new QPushButton(skin.Text("Panel", "NextText", "Next"), this);
    m_pNext_->setObjectName("NextBtn");
    skin.Place(m_pNext_, "Panel", "NextBtn", CKivSkinLayout::RIGHT | CKivSkinLayout::BOTTOM);
    // Enter and Esc are the window's (Next and Back); the buttons themselves take Space.
    m_pBack->setAutoDefault(false);
    m_pNext_->setAutoDefault(false);
    connect(m_pBack, &QPushButton::clicked, this, &CPanelBase::BackRequested);
    connect(m_pNext_, &QPushButton::clicked, this, &CPanelBase::NextRequested);
}

QString CPanelBase::Caption() const { return m_pTitle->text(); }

void CPanelBase::SetCaption(const QString& strText) { m_pTitle->setText(strText); }

void CPanelBase::SetNextEntry(const char* pszKey) {
    const CKivSkin& skin = CKivSkin::Get();
    m_pNext_->setObjectName(QString::fromLatin1(pszKey));
    skin.Place(m_pNext_, "Panel", pszKey, CKivSkinLayout::RIGHT | CKivSkinLayout::BOTTOM);
    m_pNext_->setText(skin.Text("Panel", (std::string(pszKey) + "Text").c_str(), m_pNext_->text()));
}

QPushButton* CPanelBase::AddButton(const char* pszKey, const QString& strDefault, int nFollow) {
    const CKivSkin& skin = CKivSkin::Get();
    auto* p = new QPushButton(skin.Text(m_pszSection, (std::string(pszKey) + "Text").c_str(), strDefault), this);
    skin.Place(p, m_pszSection, pszKey, nFollow);
    return p;
}
