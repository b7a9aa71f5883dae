// The About box: logo, program name, version, build date, copyright.
#pragma once

#include "CustomDialog.h"

class BorderImage;
class ZVKLabel;
class ZVKPushButton;

// AboutDlg shows the program's name, version (LORVEX_VERSION), build date and
// copyright in the chosen language, 400 x 220. OK accepts it.
class AboutDlg : public CustomDialog {
    Q_OBJECT
public:
    explicit AboutDlg(QWidget* parent = nullptr);

    // The build date as the compiler writes it ("Sep 15 2020", "Sep  5 2020")
    // in the form for `languageId`: "MM/dd/yyyy" for English (0x409),
    // "yyyy/MM/dd" for every other language. The empty text when
    // `compilerDate` is not such a date.
    static QString formatBuildDate(const QString& compilerDate, unsigned int languageId);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    BorderImage* m_logo = nullptr;
    ZVKLabel* m_nameLine = nullptr;
    ZVKLabel* m_versionLine = nullptr;
    ZVKLabel* m_dateLine = nullptr;
    ZVKLabel* m_copyrightLine = nullptr;
    ZVKPushButton* m_okButton = nullptr;
};
