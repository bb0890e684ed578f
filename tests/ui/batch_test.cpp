// Large batches through the real dialog: every line arrives, in drop order,
// and the box ends with exactly the job's lines.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_driver.h"

namespace {

class Batch : public MainDialogTest {
protected:
    // Drops count files of 1 KiB, each with its own content, and checks that
    // the box ends with exactly their lines, in drop order.
    void DropAndCheck(int count)
    {
        const SmallFiles files = WriteSmallFiles(dir, count);
        const std::string& expected = files.lines;
        Drop(files.paths);
        ASSERT_TRUE(dialog.Jobs().WaitIdle(std::chrono::minutes(2)));
        // The box may take a moment after the job to show its last lines.
        const auto complete = [&] {
            return GetWindowTextLengthA(Item(IDC_RESULT_EDIT)) == static_cast<int>(expected.size());
        };
        ASSERT_TRUE(WaitFor(complete, kWindowDeadline));
        EXPECT_TRUE(ResultText() == expected) << "the box's text differs from the job's lines";
    }
};

using LongBatch = Batch;

TEST_F(Batch, AThousandSmallFilesInOneDropGiveEveryLineInOrder)
{
    DropAndCheck(1000);
}

TEST_F(LongBatch, TenThousandSmallFilesInOneDropGiveEveryLineInOrder)
{
    DropAndCheck(10000);
}

}  // namespace
