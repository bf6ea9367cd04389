// The built-in preview of one recovered file: pictures in every format the image plug-ins read,
// plain text, and a hexadecimal view of the start of anything else, with a button that opens the
// file with the desktop's program.
#pragma once

#include <QDialog>

#include "CKivPreviewText.h"

class CDlgShowStateInfo : public QDialog {
    Q_OBJECT
public:
    enum Kind { KIND_IMAGE, KIND_TEXT, KIND_HEX };
    static constexpr qint64 kHexBytes = static_cast<qint64>(CKivPreviewText::kHexBytes);
    static constexpr qint64 kTextBytes = static_cast<qint64>(CKivPreviewText::kTextBytes);

    CDlgShowStateInfo(const QString& strPath, const QString& strName, QWidget* pParent);
    Kind ShownKind() const { return m_kind; }

    // How a file's bytes are best shown.
    static Kind KindOf(const QString& strPath, const QByteArray& head);
    // "00000000  25 50 44 46 ...  %PDF..." lines.
    static QString HexDump(const QByteArray& bytes);

private:
    Kind m_kind = KIND_HEX;
};
