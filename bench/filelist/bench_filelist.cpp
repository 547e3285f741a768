// Refreshing the file list through the real list widget, against the floor of reading the
// same folder and sorting its names in plain C++. Prints one ratio per folder size. Then the
// Send button's preview with every line ticked, which is worked out at each tick, against
// the same refresh: the first preview looks every size up, later ones use what it found.

#include "app/TickListView.h"
#include "batch/SendPreview.h"
#include "batch/SendRequest.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListRefresh.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/compose/ComposingOutbox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The outbox a preview names; nothing is filed here.
class PreviewOutbox final : public ComposingOutbox
{
public:
    void file(const Draft &, TransferMonitor &) override {}
    QString destination() const override { return QStringLiteral("the outbox"); }
};

void makeFolder(const QString &folder, int count)
{
    std::mt19937 random(count);
    const char *stems[] = {"Scan", "invoice", "IMG_", "report", "Photo", "notes", "x"};
    const char *endings[] = {".jpg", ".pdf", ".TXT", ".png", ".doc"};
    const QByteArray base = QFile::encodeName(folder) + '/';
    for (int i = 0; i < count; ++i) {
        const std::string name = std::string(stems[random() % 7]) + std::to_string(random()) + "-" +
                                 std::to_string(i) + endings[random() % 5];
        const int fd = open((base + name.c_str()).constData(), O_CREAT | O_WRONLY, 0600);
        close(fd);
    }
}

// The floor: the names of the folder's regular files, sorted without regard to case.
std::size_t readAndSort(const QByteArray &folder)
{
    std::vector<std::string> names;
    DIR *dir = opendir(folder.constData());
    const int fd = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        struct stat info;
        if (entry->d_type == DT_REG ||
            (entry->d_type == DT_UNKNOWN && fstatat(fd, entry->d_name, &info, 0) == 0 &&
             S_ISREG(info.st_mode)))
            names.emplace_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    });
    return names.size();
}

template <typename Work> double medianMilliseconds(int runs, Work &&work)
{
    std::vector<double> times;
    work(); // warms caches, fonts and the first paint
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir root(QDir::tempPath() + "/ferrymail-bench-XXXXXX");

    std::printf("%10s %12s %12s %8s\n", "files", "floor ms", "refresh ms", "ratio");
    double worst = 0;
    struct Preview
    {
        int count;
        double first, again, ratio;
    };
    std::vector<Preview> previews;
    for (const int count : {10000, 32767, 100000}) {
        const QString folder = root.filePath(QString::number(count));
        QDir().mkpath(folder);
        makeFolder(folder, count);

        LocalFileSystem files;
        FileListModel model;
        TickListView view;
        view.setModel(&model);
        view.resize(433, 169);
        view.show();

        const int runs = 7;
        const double floor =
            medianMilliseconds(runs, [&] { readAndSort(QFile::encodeName(folder)); });
        const double refresh = medianMilliseconds(runs, [&] {
            refreshFileList(folder, files, model);
            // Until the lines are on screen, the refresh is not over for the person waiting.
            QCoreApplication::processEvents();
            view.viewport()->repaint();
        });
        if (model.lines().size() != std::size_t(count)) {
            std::fprintf(stderr, "listed %zu of %d files\n", model.lines().size(), count);
            return 1;
        }
        const double ratio = refresh / floor;
        worst = std::max(worst, ratio);
        std::printf("%10d %12.2f %12.2f %8.2f\n", count, floor, refresh, ratio);

        model.tickAll();
        const SendRequest request{folder,  model.lines(),    "10240",      "to@example.org",
                                  "Scan-", "me@example.org", model.state()};
        SendPreview sendPreview(files);
        const PreviewOutbox outbox;
        QElapsedTimer first;
        first.start();
        sendPreview.text(request, outbox);
        const double firstPreview = double(first.nsecsElapsed()) / 1e6;
        const double preview = medianMilliseconds(runs, [&] { sendPreview.text(request, outbox); });
        previews.push_back({count, firstPreview, preview, preview / refresh});
    }
    std::printf("ratio refresh/floor, worst size: %.2f\n\n", worst);
    std::printf("%10s %16s %12s %16s\n", "files", "first preview ms", "preview ms",
                "preview/refresh");
    for (const auto &p : previews)
        std::printf("%10d %16.2f %12.2f %16.2f\n", p.count, p.first, p.again, p.ratio);
    return 0;
}
