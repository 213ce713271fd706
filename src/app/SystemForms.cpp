#include "app/SystemForms.h"

#include <QLocale>

#include "common/TextForms.h"

namespace folvane {

void InstallSystemForms()
{
    const QLocale locale = QLocale::system();
    TextForms forms;
    forms.shortDate = NormalizeShortDate(locale.dateFormat(QLocale::ShortFormat).toStdString());
    forms.longTime = NormalizeLongTime(locale.timeFormat(QLocale::LongFormat).toStdString());
    forms.decimal = locale.decimalPoint().toStdString();
    forms.group = locale.groupSeparator().toStdString();
    if (!locale.amText().isEmpty())
        forms.amText = locale.amText().toStdString();
    if (!locale.pmText().isEmpty())
        forms.pmText = locale.pmText().toStdString();
    SetForms(forms);
}

} // namespace folvane
