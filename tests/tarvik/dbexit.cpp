// A thread that still holds its SQLite connection when the program ends, and ends itself only
// after main has returned and the statics made during main are gone, as a pool thread that
// expires late does. The database test runs it and expects a clean exit.
#include "tarvik/database.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <future>
#include <thread>

namespace {

std::promise<void> gOpened;
std::promise<void> gReleased;
std::thread *gWorker = nullptr;

// Made before main, so it is destroyed after everything main made (Qt's SQL registry too).
struct LateEnd
{
    ~LateEnd()
    {
        if (!gWorker)
            return;
        gReleased.set_value();
        gWorker->join(); // the worker's thread-local clean-up runs now
    }
} gLateEnd;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    tarvik::Database db(dir.filePath(QStringLiteral("exit.sqlite")));
    gWorker = new std::thread([&db, released = gReleased.get_future()] {
        db.execute(QStringLiteral("CREATE TABLE t (a INTEGER)"));
        gOpened.set_value();
        released.wait();
    });
    gOpened.get_future().wait();
    return 0;
}
