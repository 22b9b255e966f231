#include "core/safefile.h"
#include "filebytes.h"

#include "filesizelimit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

QString reasonFor(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

class TestSafeFile : public QObject
{
    Q_OBJECT

private slots:
    void replacesWholeOrNotAtAll_data();
    void replacesWholeOrNotAtAll();
    void oneCallWrite();
};

void TestSafeFile::replacesWholeOrNotAtAll_data()
{
    QTest::addColumn<QString>("target");   // "file": a plain file name; "folder": a folder of that name
    QTest::addColumn<QByteArray>("before"); // the target's content beforehand; null: no such file
    QTest::addColumn<int>("size");          // bytes written, in pieces of 1000
    QTest::addColumn<int>("limit");         // largest file the process may write; 0: none
    QTest::addColumn<int>("failure");       // the system error expected; 0: success

    const QByteArray old(300, 'o');
    QTest::newRow("new file") << "file" << QByteArray() << 2500 << 0 << 0;
    QTest::newRow("replaced file") << "file" << old << 2500 << 0 << 0;
    QTest::newRow("emptied file") << "file" << old << 0 << 0 << 0;
    // The disk fills in the first piece, or only in the third: either way the
    // old file stays, although the caller never looked at what write() returned.
    QTest::newRow("full at once") << "file" << old << 2500 << 200 << EFBIG;
    QTest::newRow("full later") << "file" << old << 2500 << 2200 << EFBIG;
    QTest::newRow("full, no file before") << "file" << QByteArray() << 2500 << 200 << EFBIG;
    QTest::newRow("missing folder") << "missing/file" << QByteArray() << 10 << 0 << ENOENT;
    QTest::newRow("folder in the way") << "folder" << QByteArray() << 10 << 0 << EISDIR;
}

void TestSafeFile::replacesWholeOrNotAtAll()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, before);
    QFETCH(int, size);
    QFETCH(int, limit);
    QFETCH(int, failure);

    QTemporaryDir dir;
    const QString path = dir.filePath(target == u"folder" ? QStringLiteral("x.ini") : target);
    if (target == u"folder")
        QVERIFY(QDir().mkdir(path));
    QFile::Permissions mode;
    if (!before.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(before) == before.size());
        f.close();
        QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        mode = f.permissions();
    }
    QByteArray content(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        content[i] = char('a' + i % 26);

    SafeFile file(path);
    bool committed = false;
    {
        std::optional<FileSizeLimit> full;
        if (limit > 0) {
            full.emplace(rlim_t(limit));
            QVERIFY(full->isActive());
        }
        if (file.open()) {
            for (int at = 0; at < size; at += 1000)
                file.device().write(content.mid(at, 1000)); // results ignored: commit() must notice
            committed = file.commit();
        }
    }
    QCOMPARE(committed, failure == 0);
    if (failure == 0) {
        QCOMPARE(bytesOf(path), content);
        if (!before.isNull()) // a replaced file keeps its permissions
            QCOMPARE(QFile::permissions(path), mode);
    } else {
        QCOMPARE(file.errorString(), reasonFor(failure));
        QCOMPARE(file.errorText(), QStringLiteral("不能写入文件（%1）：%2").arg(path, reasonFor(failure)));
        if (target == u"folder")
            QVERIFY(QFileInfo(path).isDir());
        else if (before.isNull())
            QVERIFY(!QFileInfo::exists(path));
        else
            QCOMPARE(bytesOf(path), before);
    }
    // No temporary file is left behind either way.
    QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    left.removeAll(QFileInfo(path).fileName());
    left.removeAll(QStringLiteral("missing"));
    QCOMPARE(left, QStringList());
}

void TestSafeFile::oneCallWrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("jxc.ini"));
    QVERIFY(SafeFile::write(path, "number=5\ncompany=老店\n"));
    QString reason;
    {
        FileSizeLimit full(8);
        QVERIFY(full.isActive());
        QVERIFY(!SafeFile::write(path, "number=6\ncompany=老店\n", &reason));
    }
    QCOMPARE(reason, reasonFor(EFBIG));
    QCOMPARE(bytesOf(path), QByteArray("number=5\ncompany=老店\n"));
}

QTEST_GUILESS_MAIN(TestSafeFile)
#include "tst_safefile.moc"
