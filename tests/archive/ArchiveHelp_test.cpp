#include "archive/Archive.h"
#include "dispatcher/HelpManager.h"

#include <gtest/gtest.h>

// F1 in the period window asks for its help topic.
TEST(ArchiveHelp, PeriodWindowCarriesItsHelpContext)
{
    const TFormArchive form;
    EXPECT_EQ(THelpManager::WidgetHelpContext(&form), 9);
}
