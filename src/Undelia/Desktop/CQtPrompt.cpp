#include "CQtPrompt.h"

#include "CDlgMsg.h"

bool CQtPrompt::AskYesNo(KivQuestion nKind, const std::string& strText) {
    if (m_nAnswered & (1u << nKind)) return true;
    return CDlgMsg::Ask(m_pParent, QString::fromStdString(strText));
}

void CQtPrompt::ShowMessage(const std::string& strText) { CDlgMsg::Show(m_pParent, QString::fromStdString(strText)); }
