#include "charts/PrintDialog.h"

#include <QVariant>
#include <gtest/gtest.h>

// The help system reads a window's help context from this property.
TEST(PrintDialogHelp, CarriesItsHelpContext)
{
    const TFormPrintDialog dialog;
    EXPECT_EQ(dialog.property("HelpContext").toInt(), 70);
}
