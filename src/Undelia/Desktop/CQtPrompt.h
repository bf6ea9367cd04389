// The core's questions and messages as the program's message dialogs.
#pragma once

#include "IKivUiSink.h"

class QWidget;

class CQtPrompt final : public IKivPrompt {
public:
    explicit CQtPrompt(QWidget* pParent) : m_pParent(pParent) {}
    bool AskYesNo(KivQuestion nKind, const std::string& strText) override;
    void ShowMessage(const std::string& strText) override;
    // A question of this kind was answered yes already (by an earlier dialog): not asked again.
    void SetAnswered(KivQuestion nKind) { m_nAnswered |= 1u << nKind; }

private:
    QWidget* m_pParent;
    unsigned m_nAnswered = 0;
};
