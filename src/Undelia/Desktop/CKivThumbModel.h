// The pictures of the folder view as a list of thumbnails with tick boxes. Thumbnails are asked
// for only when the view paints them (the core's thumbnailer makes them on its worker), so ten
// thousand pictures cost one row each until they are scrolled into view; the pictures made are
// kept up to a memory limit and made again when needed. Ticks are the folder view's own: a tick
// here is a tick there.
#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <vector>

class CKivResultController;
class CKivThumbnailer;
class CKivUiNode;

class CKivThumbModel : public QAbstractListModel {
    Q_OBJECT
public:
    // The side of a thumbnail, in logical pixels.
    static constexpr int kSide = 112;
    enum Thumb : uint8_t { THUMB_NONE = 0, THUMB_ASKED, THUMB_READY, THUMB_DAMAGED, THUMB_FAILED };
    // The thumbnail's state (Thumb) for tests and the accessibility text.
    static constexpr int ROLE_THUMB = Qt::UserRole + 1;

    CKivThumbModel(CKivResultController* pCtl, CKivThumbnailer* pThumbs, std::vector<CKivUiNode*> pictures,
                   QObject* pParent);

    CKivUiNode* Node(const QModelIndex& index) const;
    QModelIndex IndexOf(const CKivUiNode* pNode) const;
    bool SetTick(CKivUiNode* pNode, bool bTicked);
    // A decoded picture, or its failure, arrives (on the window's thread).
    void SetThumb(CKivUiNode* pNode, const QImage& image, uint8_t nThumb);
    int Asked() const { return m_nAsked; }

    // Decodes a copy into a thumbnail (any thread); a null image when it cannot be decoded.
    static QImage Decode(const QString& strFile, int nSide);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int nRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int nRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void TicksChanged();

private:
    QPixmap Placeholder(uint8_t nThumb) const;

    CKivResultController* m_pCtl;
    CKivThumbnailer* m_pThumbs;
    std::vector<CKivUiNode*> m_files;
    QHash<const CKivUiNode*, int> m_rows;
    mutable QHash<const CKivUiNode*, uint8_t> m_state;
    mutable QCache<const CKivUiNode*, QPixmap> m_pixmaps;
    mutable int m_nAsked = 0;
    mutable QPixmap m_wait, m_broken;
    QString m_txtFailed, m_txtDamaged;
};
