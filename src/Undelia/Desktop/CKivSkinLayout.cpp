#include "CKivSkinLayout.h"

#include <algorithm>

#include <QEvent>
#include <QWidget>

namespace {

// One axis: [a, b) of a container of design length d, now n long.
void MapAxis(int a, int b, int nFollow, int d, int n, int* pA, int* pB) {
    const int delta = n - d;
    switch (nFollow) {
        case CKivSkinLayout::RIGHT: *pA = a + delta, *pB = b + delta; return;
        case CKivSkinLayout::WIDTH: *pA = a, *pB = std::max(a + 1, b + delta); return;
        case CKivSkinLayout::SCALE_X: {
            // Between the margins the edges keep their proportions.
            const int m = CKivSkinLayout::kMargin;
            auto edge = [&](int x) {
                if (d - 2 * m <= 0 || x <= m) return x;
                if (x >= d - m) return x + delta;
                return m + static_cast<int>(static_cast<long long>(x - m) * (n - 2 * m) / (d - 2 * m));
            };
            *pA = edge(a), *pB = std::max(edge(a) + 1, edge(b));
            return;
        }
        default: *pA = a, *pB = b; return;
    }
}

}  // namespace

CKivSkinLayout::CKivSkinLayout(QWidget* pContainer) : QObject(pContainer), m_pContainer(pContainer), m_design(pContainer->size()) {
    setObjectName("CKivSkinLayout");
    pContainer->installEventFilter(this);
}

CKivSkinLayout* CKivSkinLayout::Find(const QWidget* pContainer) {
    return pContainer ? pContainer->findChild<CKivSkinLayout*>("CKivSkinLayout", Qt::FindDirectChildrenOnly) : nullptr;
}

CKivSkinLayout* CKivSkinLayout::Of(QWidget* pContainer) {
    if (!pContainer) return nullptr;
    if (CKivSkinLayout* p = Find(pContainer)) return p;
    return new CKivSkinLayout(pContainer);
}

void CKivSkinLayout::SetDesignSize(const QSize& size) {
    m_design = size;
    Apply();
}

QRect CKivSkinLayout::Map(const QRect& r, int nFollow, const QSize& now) const {
    int x0, x1, y0, y1;
    MapAxis(r.left(), r.left() + r.width(), nFollow & 3, m_design.width(), now.width(), &x0, &x1);
    int v = (nFollow >> 2) & 3;
    MapAxis(r.top(), r.top() + r.height(), v == 1 ? RIGHT : v == 2 ? WIDTH : LEFT, m_design.height(), now.height(), &y0, &y1);
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

void CKivSkinLayout::Add(QWidget* pWidget, const QRect& design, int nFollow) {
    for (Item& it : m_items)
        if (it.w == pWidget) {
            it.design = design, it.nFollow = nFollow;
            pWidget->setGeometry(Map(design, nFollow, m_pContainer->size()));
            return;
        }
    m_items.push_back({pWidget, design, nFollow});
    pWidget->setGeometry(Map(design, nFollow, m_pContainer->size()));
}

void CKivSkinLayout::Apply() {
    const QSize now = m_pContainer->size();
    for (const Item& it : m_items) {
        if (!it.w) continue;
        it.w->setGeometry(Map(it.design, it.nFollow, now));
        // A hidden container gets its resize event only when shown: its own places follow now.
        if (CKivSkinLayout* pInner = Find(it.w)) pInner->Apply();
    }
}

bool CKivSkinLayout::eventFilter(QObject* pObj, QEvent* pEvent) {
    if (pObj == m_pContainer && pEvent->type() == QEvent::Resize) Apply();
    return QObject::eventFilter(pObj, pEvent);
}
