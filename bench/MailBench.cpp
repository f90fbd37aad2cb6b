// Runs formtidy-decode --mail on mail files that it makes in /tmp, and prints
// the time and peak resident memory of each run (the figure /usr/bin/time -v
// gives): mboxes of form mails (200 MB and 1 GB unless told other sizes) in
// text, CSV and JSON; hostile mails (one header line of 100 MB, multiparts
// nested 100,000 deep) in CSV; and a form that repeats one name 16,000 times,
// in CSV and JSON. The files are deleted afterwards, unless --keep DIR names a
// folder (made when missing) to leave them in.
// Usage: bench_mail [--keep DIR] [PATH_TO_FORMTIDY_DECODE] [MBOX_SIZE_IN_MB...]
#include "ChildRun.h"
#include "MailCorpus.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string g_folder;
bool g_keep = false;

std::string make(const std::string& name, const std::function<bool(int)>& write)
{
    const std::string path = g_folder + "/" + name;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && write(fd);
    if (fd >= 0)
        close(fd);
    if (!ok) {
        std::perror(("bench_mail: writing " + path).c_str());
        std::exit(1);
    }
    return path;
}

void measure(const std::string& what, const std::vector<std::string>& command)
{
    ChildRun run;
    if (!RunChild(command, run) || run.exitCode == 127) {
        std::fprintf(stderr, "bench_mail: %s did not run\n", command.front().c_str());
        std::exit(1);
    }
    std::printf("%-40s %8.2f s  CPU %7.2f s  peak %7.1f MB  exit %d\n", what.c_str(), run.elapsed,
                run.cpu, double(run.maxRssKb) / 1024, run.exitCode);
    std::fflush(stdout);
}

void done(const std::string& path)
{
    if (!g_keep)
        unlink(path.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--keep") {
        g_folder = args[1];
        g_keep = true;
        mkdir(g_folder.c_str(), 0755);
        args.erase(args.begin(), args.begin() + 2);
    } else {
        char name[] = "/tmp/bench_mail_XXXXXX";
        if (!mkdtemp(name)) {
            std::perror("bench_mail: making a folder in /tmp");
            return 1;
        }
        g_folder = name;
    }
    // A first word that is not a number names the program.
    std::string program = FORMTIDY_DECODE_BIN;
    if (!args.empty() && args[0].find_first_not_of("0123456789") != std::string::npos) {
        program = args[0];
        args.erase(args.begin());
    }
    std::vector<std::size_t> sizes;
    for (const std::string& size : args)
        sizes.push_back(std::stoul(size));
    if (sizes.empty())
        sizes = {200, 1000};
    std::printf("formtidy-decode --mail, files in %s\n", g_folder.c_str());

    for (const std::size_t mb : sizes) {
        const std::string mbox = make(std::to_string(mb) + "MB.mbox",
                                      [mb](int fd) { return WriteFormMbox(fd, mb * 1000 * 1000); });
        for (const char* format : {"text", "csv", "json"})
            measure(std::to_string(mb) + " MB mbox, " + format,
                    {program, "--mail", "--format", format, mbox});
        done(mbox);
    }
    const std::string header =
        make("header.eml", [](int fd) { return WriteLongHeaderMail(fd, 100 * 1000 * 1000); });
    measure("one header line of 100 MB, csv", {program, "--mail", "--format", "csv", header});
    done(header);
    const std::string nested =
        make("nested.eml", [](int fd) { return WriteNestedMail(fd, 100000); });
    measure("100,000 nested parts, csv", {program, "--mail", "--format", "csv", nested});
    done(nested);

    const std::string repeated = make("repeated.txt", [](int fd) {
        std::string form = "name=x";
        for (int i = 1; i < 16000; ++i)
            form += "&name=x";
        return write(fd, form.data(), form.size()) == ssize_t(form.size());
    });
    for (const char* format : {"csv", "json"})
        measure(std::string("one name 16,000 times, ") + format,
                {program, "--format", format, repeated});
    done(repeated);
    if (!g_keep)
        rmdir(g_folder.c_str());
    return 0;
}
