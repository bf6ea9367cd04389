// The result filter: a name key, a size test ("More than" / "Less than" a value in bytes, KB, MB
// or GB) and a date test (created or modified between two times).
#pragma once

#include <QDialog>

#include "CKivResultFilter.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QSpinBox;

class CDlgFilter : public QDialog {
    Q_OBJECT
public:
    explicit CDlgFilter(QWidget* pParent);

    CKivResultFilter Filter() const;

    QLineEdit* KeyEdit() const { return m_pKey; }
    QCheckBox* SizeTest() const { return m_pSizeOn; }
    QComboBox* SizeKind() const { return m_pSizeKind; }
    QSpinBox* SizeValue() const { return m_pSize; }
    QComboBox* SizeUnit() const { return m_pUnit; }
    QCheckBox* DateTest() const { return m_pDateOn; }

private:
    QLineEdit* m_pKey;
    QCheckBox* m_pSizeOn;
    QComboBox* m_pSizeKind;
    QSpinBox* m_pSize;
    QComboBox* m_pUnit;
    QCheckBox* m_pDateOn;
    QComboBox* m_pDateKind;
    QDateTimeEdit* m_pFrom;
    QDateTimeEdit* m_pTo;
};
