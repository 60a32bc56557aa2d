// cgi-place PROGRAM [ARG...]: runs the CGI program PROGRAM once one of N
// places is free, so that at most N such programs (each with a Java VM of its
// own) run at once, however many connections the web server holds. A place is
// an exclusive flock on one of the files place.0 ... place.N-1 in a folder that
// only this user may write; the open file passes to PROGRAM through exec, so
// the place is given back when PROGRAM ends, on any exit, kill -9 included.
// A request that waits costs this small process only, no VM. One that gets no
// place within the wait gets 503 with Retry-After, and one line on standard
// error (the web server's CGI error log); PROGRAM does not start. --help
// prints the usage (exit 0); no PROGRAM, or an option, the usage on standard
// error (exit 2).
//
// Environment (the web server's configuration sets it):
//   OVIX_PLACES      N, 1 to 64 (default 1)
//   OVIX_PLACE_DIR   the folder, owned by this user and writable by nobody
//                    else (default /run/ovix-places)
//   OVIX_PLACE_WAIT  the longest wait in seconds, 1 to 600 (default 15)
#include <Fd.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The number in NAME, or FALLBACK when it is unset; -1 when it is not a
// whole number from LOW to HIGH.
long Setting(const char* name, long fallback, long low, long high) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    return (errno != 0 || *end != '\0' || value < low || value > high) ? -1 : value;
}

// The clean refusal: the web server's client gets 503 and when to try again.
int Refuse(const char* why, const std::string& what) {
    std::fprintf(stderr, "cgi-place: %s%s\n", why, what.c_str());
    std::fputs(
        "Status: 503 Service Unavailable\r\nRetry-After: 5\r\n"
        "Content-Type: text/plain\r\n\r\nBusy: try again in a few seconds.\n",
        stdout);
    return 0;
}

void Wake(int) {}

}  // namespace

int main(int argc, char* argv[]) {
    const char* usage =
        "usage: cgi-place PROGRAM [ARG...]   (OVIX_PLACES, OVIX_PLACE_DIR, OVIX_PLACE_WAIT)\n";
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc < 2 || argv[1][0] == '-') {
        std::fputs(usage, stderr);
        return 2;
    }
    const long places = Setting("OVIX_PLACES", 1, 1, 64);
    const long wait = Setting("OVIX_PLACE_WAIT", 15, 1, 600);
    const char* env_dir = std::getenv("OVIX_PLACE_DIR");
    const std::string dir = env_dir != nullptr && *env_dir != '\0' ? env_dir : "/run/ovix-places";
    if (places < 0 || wait < 0) return Refuse("OVIX_PLACES or OVIX_PLACE_WAIT is not valid", "");

    // Another user who could write the folder could hold or remove the places.
    Fd folder(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (!folder || fstat(folder.Get(), &info) != 0)
        return Refuse("cannot open the folder ", dir + ": " + std::strerror(errno));
    if (info.st_uid != geteuid() || (info.st_mode & 022) != 0)
        return Refuse("the folder must be this user's and writable by nobody else: ", dir);

    // Each place open (closed over exec); first any free one, from one that
    // depends on the process so that requests spread; when all are taken, wait
    // for that one. The alarm interrupts the wait: without SA_RESTART, flock
    // fails with EINTR.
    std::vector<Fd> open_places;
    for (long i = 0; i < places; ++i) {
        const std::string name = "place." + std::to_string(i);
        open_places.emplace_back(
            openat(folder.Get(), name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!open_places.back())
            return Refuse("cannot open ", dir + "/" + name + ": " + std::strerror(errno));
    }
    const long first = static_cast<long>(getpid()) % places;
    int held = -1;
    for (long i = 0; i < places && held < 0; ++i) {
        const int fd = open_places[(first + i) % places].Get();
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) held = fd;
    }
    if (held < 0) {
        struct sigaction wake {};
        wake.sa_handler = Wake;
        sigaction(SIGALRM, &wake, nullptr);
        alarm(static_cast<unsigned>(wait));
        if (flock(open_places[first].Get(), LOCK_EX) == 0) held = open_places[first].Get();
        alarm(0);  // a pending alarm would survive exec
        signal(SIGALRM, SIG_DFL);
    }
    if (held < 0) return Refuse("no place free within ", std::to_string(wait) + " s");
    // The place stays with the program: only its descriptor stays open over exec.
    fcntl(held, F_SETFD, 0);
    execv(argv[1], argv + 1);
    return Refuse("cannot start ", std::string(argv[1]) + ": " + std::strerror(errno));
}
