// Containers: the temporary file a container makes, and who deletes it.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/TestSupport.h"
#include "qeinteg/data/QESimpleContainer.h"
#include "qeinteg/platform/host/process/TempDirectory.h"

namespace fs = std::filesystem;

TEST(QESimpleContainer, TemporaryFileLivesAsLongAsTheContainerUnlessPreserved) {
    std::string path;
    {
        QESimpleContainer container("PMML", "");
        EXPECT_EQ(container.getName(), "PMML");
        path = container.getGenericPath();
        EXPECT_TRUE(container.isTempFile());
        EXPECT_EQ(fs::path(path).filename().string().rfind("qecontfile_", 0), 0u) << path;
        EXPECT_EQ(path.rfind(GetTavoTempPath(), 0), 0u) << path;  // in the host's temp directory
        EXPECT_EQ(container.getAbsolutePath(), path);             // UTF-8 host code page
        ASSERT_TRUE(fs::is_regular_file(path));
        EXPECT_EQ(fs::file_size(path), 0u);

        QESimpleContainer other("StatXML", "");
        EXPECT_NE(other.getGenericPath(), path);
    }
    EXPECT_FALSE(fs::exists(path));

    {
        QESimpleContainer kept("kept", "");
        path = kept.getGenericPath();
        kept.preserveTempFile();
        EXPECT_FALSE(kept.isTempFile());
    }
    EXPECT_TRUE(fs::exists(path));
    fs::remove(path);
}

TEST(QESimpleContainer, GivenPathIsNeverDeleted) {
    const std::string path = qetest::TestDir() + "/given.zip";
    ASSERT_TRUE(qetest::WriteFile(path, "result"));
    {
        QESimpleContainer container("out", path);
        EXPECT_FALSE(container.isTempFile());
        EXPECT_EQ(container.getGenericPath(), path);
        EXPECT_EQ(container.getAbsolutePath(), path);
        container.preserveTempFile();  // nothing to give up
    }
    EXPECT_EQ(qetest::ReadFile(path), "result");
    { QESimpleContainer missing("out", qetest::TestDir() + "/not-yet.zip"); }
    EXPECT_FALSE(fs::exists(qetest::TestDir() + "/not-yet.zip"));  // not created either
}

TEST(QESimpleContainer, CopiesShareTheTemporaryFile) {
    std::string path;
    std::optional<QESimpleContainer> copy;
    {
        QESimpleContainer original("in", "");
        path = original.getGenericPath();
        copy.emplace(original);
        EXPECT_TRUE(copy->isTempFile());
        EXPECT_EQ(copy->getAbsolutePath(), original.getAbsolutePath());
    }
    // The copy still names the file, so the original's end must not delete it.
    EXPECT_TRUE(fs::exists(path));
    copy.reset();
    EXPECT_FALSE(fs::exists(path));

    // Assignment gives up the old file and shares the new one.
    QESimpleContainer a("a", "");
    const std::string aPath = a.getGenericPath();
    {
        QESimpleContainer b("b", "");
        const std::string bPath = b.getGenericPath();
        a = b;
        EXPECT_FALSE(fs::exists(aPath));
        EXPECT_EQ(a.getName(), "b");
        EXPECT_EQ(a.getGenericPath(), bPath);
    }
    EXPECT_TRUE(fs::exists(a.getGenericPath()));

    // Containers kept in a growing vector keep their files.
    std::vector<QESimpleContainer> many;
    for (int i = 0; i < 20; ++i)
        many.emplace_back("c" + std::to_string(i), "");
    for (QESimpleContainer& c : many)
        EXPECT_TRUE(fs::exists(c.getGenericPath()));
    const std::string last = many.back().getGenericPath();
    many.clear();
    EXPECT_FALSE(fs::exists(last));
}
