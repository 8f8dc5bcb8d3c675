// Main of the end-to-end tests: a QCoreApplication for the accessibility bus client, and this process
// as the reaper of orphans, so that a preview whose driver died can still be waited for.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <sys/prctl.h>

int main(int argc, char **argv)
{
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
