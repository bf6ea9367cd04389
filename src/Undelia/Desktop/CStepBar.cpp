#include "CStepBar.h"

#include <QPainter>
#include <QPainterPath>

#include "CKivSkin.h"

CStepBar::CStepBar(int nCurrent, QWidget* pParent) : QWidget(pParent), m_nCurrent(nCurrent) {
    setObjectName("StepBar");
    m_steps = CKivSkin::Get().List("Panel", "Steps");
    setFocusPolicy(Qt::NoFocus);
}

void CStepBar::paintEvent(QPaintEvent*) {
    if (m_steps.isEmpty()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor accent(CKivSkin::Get().Text("UIMain", "Accent", "#2f6fb2"));
    QColor grey(0xb8, 0xc0, 0xc9), text = palette().color(QPalette::WindowText);
    const int n = static_cast<int>(m_steps.size());
    const int w = width() / n, h = height(), d = qMin(h - 6, 20);
    QFont bold = font();
    bold.setBold(true);
    for (int i = 0; i < n; ++i) {
        int x = i * w;
        QRect dot(x, (h - d) / 2, d, d);
        // The line to the next step, clear of this step's name (bold for the current one).
        if (i + 1 < n) {
            p.setPen(QPen(i < m_nCurrent ? accent : grey, 2));
            QFontMetrics fm(i == m_nCurrent ? bold : font());
            int tx = dot.right() + 8 + fm.horizontalAdvance(m_steps[i]) + 10;
            if (tx < x + w - 10) p.drawLine(tx, h / 2, x + w - 10, h / 2);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(i <= m_nCurrent ? accent : grey);
        p.drawEllipse(dot);
        p.setPen(Qt::white);
        QFont f = font();
        f.setBold(true);
        p.setFont(f);
        p.drawText(dot, Qt::AlignCenter, i < m_nCurrent ? QStringLiteral("\u2713") : QString::number(i + 1));
        f.setBold(i == m_nCurrent);
        p.setFont(f);
        p.setPen(i == m_nCurrent ? text : QColor(0x66, 0x70, 0x7c));
        p.drawText(QRect(dot.right() + 8, 0, w - d - 8, h), Qt::AlignVCenter | Qt::AlignLeft, m_steps[i]);
    }
}
