// A SQLite database the server creates, with its -wal and -shm files and the
// folders made for it, is its owner's alone, whatever the umask it was
// started with: the test starts the server under umask 0, which would leave
// everything readable by everyone.
#include "ServerSession.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// The permission bits of `path`, or -1 when it does not exist.
int Mode(const QString& path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return -1;
    return int(status.st_mode & 07777);
}

class FileModes : public ::testing::Test {
protected:
    void SetUp() override { saved_ = ::umask(0); }
    void TearDown() override { ::umask(saved_); }

    QTemporaryDir dir;

private:
    mode_t saved_ = 0;
};

TEST_F(FileModes, InitDemoMakesTheFileAndItsFoldersOwnerOnly)
{
    const QString path = dir.filePath(QStringLiteral("nova/pasta/demo.sqlite"));
    QString output;
    ASSERT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--init-demo"), QStringLiteral("--database"), path}, &output), 0)
        << output.toStdString();
    EXPECT_EQ(Mode(dir.filePath(QStringLiteral("nova"))), 0700);
    EXPECT_EQ(Mode(dir.filePath(QStringLiteral("nova/pasta"))), 0700);
    EXPECT_EQ(Mode(path), 0600);
}

TEST_F(FileModes, ANewFileServedWithCreateKeepsItsJournalOwnerOnly)
{
    TAppServerProcess::TOptions options;
    options.Demo = false;  // --create
    options.Database = dir.filePath(QStringLiteral("nova/vazia.sqlite"));
    TAppServerProcess server(options);
    // A call opens a worker's connection, which holds the -wal and -shm files.
    auto net = Connect(server, Remote::Estoque);
    net->AppServer().Call(Remote::UtilizaLocalEstoque, {QStringLiteral("1")});
    EXPECT_EQ(Mode(dir.filePath(QStringLiteral("nova"))), 0700);
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        EXPECT_EQ(Mode(options.Database + suffix), 0600) << suffix.toStdString();
}

TEST_F(FileModes, AFileThatExistsKeepsItsMode)
{
    const QString path = dir.filePath(QStringLiteral("existente.sqlite"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    QString output;
    ASSERT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--init-demo"), QStringLiteral("--database"), path}, &output), 0)
        << output.toStdString();
    EXPECT_EQ(Mode(path), 0640) << "a site's own choice (a group that backs it up, say) is not undone";
}

} // namespace
