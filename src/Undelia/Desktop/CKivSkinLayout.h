// Keeps the skin's places when a container grows or shrinks: each control placed from the skin
// remembers its rectangle at the skin's size and how it follows the container (stays at its
// left or top, keeps its distance to the right or bottom, stretches, or scales with the free
// width like the home panel's two cards side by side). The skin's sizes are thus the default
// size and proportions of the window, not a fixed frame.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;

class CKivSkinLayout : public QObject {
public:
    // Horizontal follow in bits 0-1, vertical in bits 2-3.
    enum Follow {
        LEFT = 0, RIGHT = 1, WIDTH = 2, SCALE_X = 3,
        TOP = 0, BOTTOM = 4, HEIGHT = 8,
    };
    // The margin kept at both sides when controls scale with the width.
    static constexpr int kMargin = 32;

    // The layout of the container (made on first use) whose controls were placed for the size.
    static CKivSkinLayout* Of(QWidget* pContainer);
    static CKivSkinLayout* Find(const QWidget* pContainer);
    void SetDesignSize(const QSize& size);
    QSize DesignSize() const { return m_design; }

    // Remembers the control at its skin rectangle and places it for the container's size now.
    void Add(QWidget* pWidget, const QRect& design, int nFollow);
    // Where a control of that rectangle lies in a container of that size.
    QRect Map(const QRect& design, int nFollow, const QSize& now) const;
    void Apply();

protected:
    bool eventFilter(QObject* pObj, QEvent* pEvent) override;

private:
    explicit CKivSkinLayout(QWidget* pContainer);
    struct Item {
        QPointer<QWidget> w;
        QRect design;
        int nFollow;
    };
    QWidget* m_pContainer;
    QSize m_design;
    QList<Item> m_items;
};
