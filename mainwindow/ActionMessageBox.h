// Shows the message box a device-action rule asks for.
#pragma once

#include "DeviceActionRules.h"

class QWidget;

// Runs the box of `message` (warning, error or information, with the
// language text of its key) modally over `parent`, or with no parent window
// when `parent` is null; shows nothing for BoxKind::None.
void ShowActionMessage(const ActionMessage& message, QWidget* parent);

// The text of the box ConfirmAddressWarnings shows: each warning's language
// text with its holder, then the question, paragraphs apart. A holder's MAC
// (or any colon in it) offers no line break, so that a narrow box never
// splits an address an installer compares digit by digit.
QString AddressWarningText(const QList<AddressWarning>& warnings);

// Asks over `parent` whether a new address that AddressWarnings found
// doubtful should be sent anyway: one warning box naming every warning,
// with Yes and No (No is the default and Escape's answer). True for Yes.
bool ConfirmAddressWarnings(const QList<AddressWarning>& warnings, QWidget* parent);
