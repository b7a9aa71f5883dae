// Language texts: every text the user sees is named in the code by an
// IDCS_ key and looked up here, in the language file chosen at start-up.
#pragma once

#include <QByteArray>
#include <QString>

// Windows language identifier chosen at start-up: 0x804 (Chinese, PRC),
// 0x404 (Chinese, traditional), 0x419 (Russian) or 0x409 (English, US).
// The main window sets it before InitLanguage; the About box reads it to
// pick the date format. 0 until the main window has chosen.
extern unsigned int g_languageId;

// The language identifier for a system locale name such as "zh_CN":
// exactly "zh_CN" gives 0x804; exactly "zh_TW", "zh_HK" or "zh_SG" gives
// 0x404; any other name containing "ru_" (case-sensitive) gives 0x419;
// everything else 0x409. Pure; touches no state.
unsigned int LanguageIdFromLocaleName(const QString& localeName);

// The language file base name used when the index names none: "Chinese (PRC)"
// for exactly "zh_CN", "English (United States)" for every other locale
// name (a traditional-Chinese system falls back to English). Pure.
QString FallbackLanguageName(const QString& localeName);

// Opens the language file for `languageId` below `appDir` (the executable's
// folder, UTF-8): the index "<appDir>/language/LanguageIndex.ini", group
// "languages", key "0x" + four lower-case hex digits names the file
// "<appDir>/language/<name>.ini", whose group "text" holds the texts. When
// the index gives no name the fallback for the system locale is used. A
// missing file is not an error: every lookup then gives the empty text.
// Replaces a file opened before. Always returns true.
bool InitLanguage(const QByteArray& appDir, unsigned int languageId);

// The text of `key` in the open language file; the empty text for a null or
// empty key (no lookup) and for a key the file lacks. Reads through on every
// call. Asking with a non-empty key while no file is open is a programming
// error and throws std::bad_alloc.
QString GetText(const char* key);

// Closes the language file. Must follow a successful InitLanguage (asserted
// in debug builds).
void ReleaseLanguage();
