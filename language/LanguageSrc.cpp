#include "LanguageSrc.h"

#include <QLocale>
#include <QSettings>
#include <QStringList>

unsigned int g_languageId = 0;

namespace {

// Process-wide state of the module; one language file for the life of the
// main window.
QString s_appDir;
QString s_languageName;
QSettings* m_pLanguageSettings = nullptr;

QSettings* openIni(const QString& path, const char* group) {
    auto* settings = new QSettings(path, QSettings::IniFormat);
    settings->setIniCodec("UTF-8");
    settings->beginGroup(QString::fromLatin1(group));
    return settings;
}

// "0x0804" for 0x804: the index writes identifiers as four hex digits.
QString indexKey(unsigned int languageId) {
    return QStringLiteral("0x%1").arg(languageId, 4, 16, QLatin1Char('0'));
}

QString languageNameFromIndex(unsigned int languageId) {
    QSettings* index =
        openIni(s_appDir + QStringLiteral("/language/LanguageIndex.ini"), "languages");
    const QString name = index->value(indexKey(languageId)).toString();
    delete index;
    return name;
}

} // namespace

unsigned int LanguageIdFromLocaleName(const QString& localeName) {
    if (localeName == QLatin1String("zh_CN")) {
        return 0x804;
    }
    static const QStringList traditional = {QStringLiteral("zh_TW"), QStringLiteral("zh_HK"),
                                            QStringLiteral("zh_SG")};
    if (traditional.contains(localeName)) {
        return 0x404;
    }
    if (localeName.contains(QLatin1String("ru_"), Qt::CaseSensitive)) {
        return 0x419;
    }
    return 0x409;
}

QString FallbackLanguageName(const QString& localeName) {
    return localeName == QLatin1String("zh_CN") ? QStringLiteral("Chinese (PRC)")
                                                : QStringLiteral("English (United States)");
}

bool InitLanguage(const QByteArray& appDir, unsigned int languageId) {
    s_appDir = QString::fromUtf8(appDir);
    s_languageName = languageNameFromIndex(languageId);
    if (s_languageName.isEmpty()) {
        s_languageName = FallbackLanguageName(QLocale::system().name());
    }
    delete m_pLanguageSettings;
    m_pLanguageSettings =
        openIni(QStringLiteral("%1/language/%2.ini").arg(s_appDir, s_languageName), "text");
    return true;
}

QString GetText(const char* key) {
    if (key == nullptr || *key == '\0') {
        return QString();
    }
    // Q_CHECK_PTR raises std::bad_alloc: a lookup before InitLanguage is a
    // bug in the caller, not a state to paper over.
    Q_CHECK_PTR(m_pLanguageSettings);
    return m_pLanguageSettings->value(QString::fromLatin1(key)).toString();
}

void ReleaseLanguage() {
    Q_ASSERT(m_pLanguageSettings);
    delete m_pLanguageSettings;
    m_pLanguageSettings = nullptr;
}
