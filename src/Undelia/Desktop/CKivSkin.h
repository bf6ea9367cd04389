// The skin as the widgets use it: rectangles, sizes, texts, pictures and the style sheet of the
// user-interface configuration (res/res.ini beside the program, or the language file it names),
// in Qt's types. Every text a widget shows comes from here or from the hint and error files.
#pragma once

#include <QIcon>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include "KivCommon.h"

class QWidget;

class CKivSkin {
public:
    static CKivSkin& Get();

    // False when "MainFrame" gives no width or height: the configuration could not be read.
    bool IsLoaded() const;
    QSize WindowSize() const;

    // "left, top, width, height"; def when the key is missing or malformed.
    QRect Rect(const char* pszSection, const char* pszKey, const QRect& def = QRect()) const;
    // "width, height".
    QSize Size(const char* pszSection, const char* pszKey, const QSize& def) const;
    int Int(const char* pszSection, const char* pszKey, int nDefault) const;
    QString Text(const char* pszSection, const char* pszKey, const QString& def = QString()) const;
    // A "|"-separated list.
    QStringList List(const char* pszSection, const char* pszKey) const;
    // The picture file the key names, in the skin's folder; empty when none or missing.
    QString Picture(const char* pszSection, const char* pszKey) const;
    QIcon Icon(const char* pszSection, const char* pszKey) const;
    // The style sheet of "UIMain"/"StyleSheet" with "@accent" resolved.
    QString StyleSheet() const;
    QString ResDir() const;

    // Places the widget at the key's rectangle (left where it is when the key is missing) and
    // gives it the key as object name, so the style sheet can address it. In a container with a
    // skin layout the widget then follows its size as nFollow says (CKivSkinLayout::Follow).
    void Place(QWidget* pWidget, const char* pszSection, const char* pszKey, int nFollow = 0) const;
    // The panel area's size at the skin's window size.
    QSize PanelAreaSize() const;
    QRect PanelArea() const;

    // Texts of the hint and error files.
    static QString Hint(const char* pszSection, const char* pszKey);
    static QString HintArg(const char* pszSection, const char* pszKey, const QString& strArg);
    static QString ErrorText(KivResult nCode);
    // "%s" of a skin text replaced, in order, by the arguments.
    static QString Fill(QString text, const QStringList& args);
};
