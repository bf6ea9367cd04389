#include "CKivSkin.h"

#include <QFile>
#include <QFileInfo>
#include <QWidget>

#include "CKivSkinLayout.h"
#include "CKivUiConfig.h"
#include "KivUiTexts.h"

CKivSkin& CKivSkin::Get() {
    static CKivSkin s_skin;
    return s_skin;
}

bool CKivSkin::IsLoaded() const {
    const CKivUiConfig& c = CKivUiConfig::Get();
    return c.GetInt("MainFrame", "Weight", 0) > 0 && c.GetInt("MainFrame", "High", 0) > 0;
}

QSize CKivSkin::WindowSize() const {
    const CKivUiConfig& c = CKivUiConfig::Get();
    int w = static_cast<int>(c.GetInt("MainFrame", "Weight", 0));
    int h = static_cast<int>(c.GetInt("MainFrame", "High", 0));
    return w > 0 && h > 0 ? QSize(w, h) : QSize(960, 640);
}

QRect CKivSkin::Rect(const char* pszSection, const char* pszKey, const QRect& def) const {
    int32_t r[4];
    if (!CKivUiConfig::Get().GetRect(pszSection, pszKey, r) || r[2] < r[0] || r[3] < r[1]) return def;
    return QRect(QPoint(r[0], r[1]), QSize(r[2] - r[0], r[3] - r[1]));
}

QSize CKivSkin::Size(const char* pszSection, const char* pszKey, const QSize& def) const {
    QStringList parts = Text(pszSection, pszKey).split(',');
    if (parts.size() != 2) return def;
    bool bW = false, bH = false;
    int w = parts[0].trimmed().toInt(&bW), h = parts[1].trimmed().toInt(&bH);
    return bW && bH && w > 0 && h > 0 ? QSize(w, h) : def;
}

int CKivSkin::Int(const char* pszSection, const char* pszKey, int nDefault) const {
    return static_cast<int>(CKivUiConfig::Get().GetInt(pszSection, pszKey, nDefault));
}

QString CKivSkin::Text(const char* pszSection, const char* pszKey, const QString& def) const {
    std::string s = CKivUiConfig::Get().GetText(pszSection, pszKey);
    return s.empty() ? def : QString::fromStdString(s);
}

QStringList CKivSkin::List(const char* pszSection, const char* pszKey) const {
    QString s = Text(pszSection, pszKey);
    return s.isEmpty() ? QStringList() : s.split('|');
}

QString CKivSkin::ResDir() const { return QFileInfo(QString::fromStdString(CKivUiConfig::Get().Path())).absolutePath(); }

QString CKivSkin::Picture(const char* pszSection, const char* pszKey) const {
    QString name = Text(pszSection, pszKey);
    if (name.isEmpty() || name.contains('/')) return QString();
    QString path = ResDir() + '/' + name;
    return QFileInfo::exists(path) ? path : QString();
}

QIcon CKivSkin::Icon(const char* pszSection, const char* pszKey) const {
    QString p = Picture(pszSection, pszKey);
    return p.isEmpty() ? QIcon() : QIcon(p);
}

QString CKivSkin::StyleSheet() const {
    QString name = Text("UIMain", "StyleSheet");
    if (name.isEmpty() || name.contains('/')) return QString();
    QFile f(ResDir() + '/' + name);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    QString css = QString::fromUtf8(f.readAll());
    return css.replace("@accent", Text("UIMain", "Accent", "#2f6fb2"));
}

void CKivSkin::Place(QWidget* pWidget, const char* pszSection, const char* pszKey, int nFollow) const {
    if (!pWidget) return;
    if (pWidget->objectName().isEmpty()) pWidget->setObjectName(QString::fromLatin1(pszKey));
    QRect r = Rect(pszSection, pszKey);
    if (!r.isValid()) return;
    if (CKivSkinLayout* pLayout = CKivSkinLayout::Find(pWidget->parentWidget())) pLayout->Add(pWidget, r, nFollow);
    else pWidget->setGeometry(r);
}

QRect CKivSkin::PanelArea() const {
    QSize w = WindowSize();
    int nCaption = Int("MainFrame", "CaptionHeight", 48);
    return Rect("MainFrame", "PanelArea", QRect(QPoint(0, nCaption), QSize(w.width(), w.height() - nCaption)));
}

QSize CKivSkin::PanelAreaSize() const { return PanelArea().size(); }

QString CKivSkin::Hint(const char* pszSection, const char* pszKey) {
    return QString::fromStdString(KivHintText(pszSection, pszKey));
}

QString CKivSkin::HintArg(const char* pszSection, const char* pszKey, const QString& strArg) {
    return QString::fromStdString(KivHintFormat(pszSection, pszKey, strArg.toStdString()));
}

QString CKivSkin::ErrorText(KivResult nCode) { return QString::fromStdString(KivErrorText(nCode)); }

QString CKivSkin::Fill(QString text, const QStringList& args) {
    int from = 0;
    for (const QString& a : args) {
        int at = text.indexOf("%s", from);
        if (at < 0) break;
        text.replace(at, 2, a);
        from = at + static_cast<int>(a.size());
    }
    return text;
}
