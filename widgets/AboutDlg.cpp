#include "AboutDlg.h"

#include "BorderImage.h"
#include "ZVKLabel.h"
#include "ZVKPushButton.h"
#include "LanguageSrc.h"
#include "LorvexVersion.h"

#include <QDate>
#include <QLocale>
#include <QResizeEvent>

namespace {
QString labelled(const char* key, const QString& value) {
    return QStringLiteral("%1: %2").arg(GetText(key), value);
}

ZVKLabel* plainLabel(const QString& text, QWidget* parent) {
    ZVKLabel* label = new ZVKLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}
} // namespace

AboutDlg::AboutDlg(QWidget* parent) : CustomDialog(parent) {
    const QString name = GetText("IDCS_SOFTWARE_NAME_RU20");
    setTitle(QStringLiteral("%1 %2").arg(GetText("IDCS_ABOUT"), name));
    m_logo = new BorderImage(QStringLiteral(":/skin/Zemtravon_logo.png"), this);
    m_nameLine = plainLabel(labelled("IDCS_NAME", name), this);
    m_versionLine = plainLabel(labelled("IDCS_VERSION", QStringLiteral(LORVEX_VERSION)), this);
    const QString date = formatBuildDate(QStringLiteral(LORVEX_BUILD_DATE), g_languageId);
    m_dateLine = plainLabel(labelled("IDCS_DATE", date), this);
    m_copyrightLine = plainLabel(GetText("IDCS_COPYRIGHT"), this);
    m_okButton = new ZVKPushButton(GetText("IDCS_OK"), this);
    connect(m_okButton, SIGNAL(clicked()), this, SLOT(accept()));
    resize(400, 220);
}

QString AboutDlg::formatBuildDate(const QString& compilerDate, unsigned int languageId) {
    // A day below 10 is padded with a blank: "Sep  5 2020".
    const bool padded = compilerDate.size() > 4 && compilerDate.at(4) == QLatin1Char(' ');
    const QString pattern = padded ? QStringLiteral("MMM  d yyyy") : QStringLiteral("MMM d yyyy");
    const QDate date =
        QLocale(QLocale::English, QLocale::UnitedStates).toDate(compilerDate, pattern);
    if (!date.isValid())
        return QString();
    return date.toString(languageId == 0x409 ? QStringLiteral("MM/dd/yyyy")
                                             : QStringLiteral("yyyy/MM/dd"));
}

void AboutDlg::resizeEvent(QResizeEvent* event) {
    CustomDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    m_logo->setGeometry(40, 80, 40, 40);
    m_nameLine->setGeometry(120, 40, w - 100, 26);
    m_versionLine->setGeometry(120, 75, w - 100, 26);
    m_dateLine->setGeometry(120, 110, w - 100, 26);
    m_copyrightLine->setGeometry(120, 145, w - 100, 26);
    m_okButton->setGeometry(w - 80, h - 27, 70, 23);
}
