#include "CKivThumbModel.h"

#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <QStyle>

#include "CKivResultController.h"
#include "CKivSkin.h"
#include "CKivThumbnailer.h"
#include "CKivUiNode.h"
#include "KivUiTexts.h"

CKivThumbModel::CKivThumbModel(CKivResultController* pCtl, CKivThumbnailer* pThumbs,
                               std::vector<CKivUiNode*> pictures, QObject* pParent)
    : QAbstractListModel(pParent), m_pCtl(pCtl), m_pThumbs(pThumbs), m_files(std::move(pictures)) {
    m_rows.reserve(static_cast<qsizetype>(m_files.size()));
    for (size_t i = 0; i < m_files.size(); ++i) m_rows.insert(m_files[i], static_cast<int>(i));
    // About 1500 thumbnails at 112 x 112; those beyond are made again when scrolled back to.
    m_pixmaps.setMaxCost(64 << 20);
    const CKivSkin& skin = CKivSkin::Get();
    m_txtFailed = skin.Text("PanelFileRes", "TxtThumbFailed", "Cannot be shown");
    m_txtDamaged = skin.Text("PanelFileRes", "TxtThumbDamaged", "Damaged: parts could not be read");
}

CKivUiNode* CKivThumbModel::Node(const QModelIndex& index) const {
    return index.isValid() && static_cast<size_t>(index.row()) < m_files.size() ? m_files[static_cast<size_t>(index.row())]
                                                                                 : nullptr;
}

QModelIndex CKivThumbModel::IndexOf(const CKivUiNode* pNode) const {
    auto it = m_rows.constFind(pNode);
    return it == m_rows.constEnd() ? QModelIndex() : index(*it);
}

int CKivThumbModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_files.size());
}

QImage CKivThumbModel::Decode(const QString& strFile, int nSide) {
    QImageReader reader(strFile);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    // Decoded at the thumbnail's size where the format allows (JPEG does): a 24-megapixel photo
    // is never held whole.
    if (size.isValid() && (size.width() > nSide || size.height() > nSide))
        reader.setScaledSize(size.scaled(nSide, nSide, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull()) return image;
    if (image.width() > nSide || image.height() > nSide)
        image = image.scaled(nSide, nSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QPixmap CKivThumbModel::Placeholder(uint8_t nThumb) const {
    QPixmap& pm = nThumb == THUMB_FAILED ? m_broken : m_wait;
    if (!pm.isNull()) return pm;
    const qreal dpr = qApp->devicePixelRatio();
    pm = QPixmap(QSize(kSide, kSide) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r(4, 4, kSide - 8, kSide - 8);
    p.setPen(QPen(nThumb == THUMB_FAILED ? QColor(0xb0, 0x3a, 0x2e) : QColor(0xc4, 0xcb, 0xd3), 1.5,
                  nThumb == THUMB_FAILED ? Qt::SolidLine : Qt::DashLine));
    p.setBrush(nThumb == THUMB_FAILED ? QColor(0xfb, 0xee, 0xec) : QColor(0xf4, 0xf5, 0xf7));
    p.drawRoundedRect(r, 8, 8);
    if (nThumb == THUMB_FAILED) {
        // A picture frame crossed out.
        p.setPen(QPen(QColor(0xb0, 0x3a, 0x2e), 3, Qt::SolidLine, Qt::RoundCap));
        QRectF f = r.adjusted(30, 30, -30, -30);
        p.drawLine(f.topLeft(), f.bottomRight());
        p.drawLine(f.topRight(), f.bottomLeft());
    } else {
        QIcon icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
        icon.paint(&p, r.adjusted(36, 36, -36, -36).toRect());
    }
    return pm;
}

QVariant CKivThumbModel::data(const QModelIndex& index, int nRole) const {
    CKivUiNode* p = Node(index);
    if (!p) return QVariant();
    uint8_t nThumb = m_state.value(p, THUMB_NONE);
    switch (nRole) {
        case Qt::DisplayRole: return QString::fromUtf8(p->GetName());
        case Qt::CheckStateRole:
            return p->GetState() == CKivUiNode::STATE_TICKED ? Qt::Checked : Qt::Unchecked;
        case Qt::DecorationRole: {
            if (nThumb == THUMB_READY || nThumb == THUMB_DAMAGED) {
                if (QPixmap* pm = m_pixmaps.object(p)) return *pm;
                nThumb = THUMB_NONE;  // let go of to keep the memory: made again
            }
            if (nThumb == THUMB_NONE) {
                // Painted now: asked for now, the latest first.
                m_state.insert(p, THUMB_ASKED);
                ++m_nAsked;
                if (m_pThumbs) m_pThumbs->Request(p);
            }
            return Placeholder(nThumb == THUMB_FAILED ? THUMB_FAILED : THUMB_ASKED);
        }
        case Qt::ForegroundRole:
            // As in the folder view: red for what was deleted, lost or found by content.
            if (p->GetLook() == CKivUiNode::LOOK_GONE) return QColor(0xb0, 0x3a, 0x2e);
            break;
        case Qt::ToolTipRole: {
            QString tip = QString::fromStdString(p->GetFullPath()) + "\n" + QString::fromStdString(KivSizeTextIec(p->GetSize()));
            if (nThumb == THUMB_FAILED) tip += "\n" + m_txtFailed;
            if (nThumb == THUMB_DAMAGED) tip += "\n" + m_txtDamaged;
            return tip;
        }
        case Qt::AccessibleDescriptionRole:
            return nThumb == THUMB_FAILED ? m_txtFailed : nThumb == THUMB_DAMAGED ? m_txtDamaged : QString();
        case ROLE_THUMB: return int(nThumb);
        default: break;
    }
    return QVariant();
}

void CKivThumbModel::SetThumb(CKivUiNode* pNode, const QImage& image, uint8_t nThumb) {
    QModelIndex i = IndexOf(pNode);
    if (!i.isValid()) return;
    if (nThumb != THUMB_FAILED && image.isNull()) nThumb = THUMB_FAILED;
    if (nThumb != THUMB_FAILED) {
        const qreal dpr = image.devicePixelRatio();
        QPixmap pm(QSize(kSide, kSide) * dpr);
        pm.setDevicePixelRatio(dpr);
        pm.fill(Qt::transparent);
        {
            // Centred in a square of its own, so the grid stays even.
            QPainter p(&pm);
            const QSizeF at = image.deviceIndependentSize();
            p.drawImage(QPointF((kSide - at.width()) / 2, (kSide - at.height()) / 2), image);
            if (nThumb == THUMB_DAMAGED) {
                p.setRenderHint(QPainter::Antialiasing);
                p.setPen(QPen(Qt::white, 2));
                p.setBrush(QColor(0xd9, 0x7a, 0x00));
                p.drawEllipse(QRectF(kSide - 26, kSide - 26, 20, 20));
                p.setPen(Qt::white);
                p.drawText(QRectF(kSide - 26, kSide - 26, 20, 20), Qt::AlignCenter, "!");
            }
        }
        m_pixmaps.insert(pNode, new QPixmap(pm), static_cast<int>(kSide * kSide * 4 * dpr * dpr));
    }
    m_state.insert(pNode, nThumb);
    emit dataChanged(i, i, {Qt::DecorationRole, Qt::ForegroundRole, ROLE_THUMB});
}

bool CKivThumbModel::SetTick(CKivUiNode* pNode, bool bTicked) {
    if (!pNode || !m_pCtl) return false;
    if (KivFailed(m_pCtl->SetTick(CKivResultController::VIEW_DIR, pNode, bTicked))) return false;
    QModelIndex i = IndexOf(pNode);
    emit dataChanged(i, i, {Qt::CheckStateRole});
    emit TicksChanged();
    return true;
}

bool CKivThumbModel::setData(const QModelIndex& index, const QVariant& value, int nRole) {
    if (nRole != Qt::CheckStateRole || !Node(index)) return false;
    return SetTick(Node(index), value.toInt() == Qt::Checked);
}

Qt::ItemFlags CKivThumbModel::flags(const QModelIndex& index) const {
    if (!Node(index)) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}
