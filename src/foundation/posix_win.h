// Windows only: the few POSIX file calls that the engine makes outside the platform
// layer, on the wide-character API, for UTF-8 paths of any length. Include it after
// every system header: it stands in for struct stat, stat, fstat and lstat.
//
// - struct stat carries the volume serial number and file index as st_dev and st_ino,
//   and the times as st_mtim and st_ctim; a reparse point (symbolic link, junction) is
//   S_IFLNK to lstat and to an open with O_NOFOLLOW (which then fails with ELOOP).
// - open() opens in binary mode; O_CLOEXEC keeps the handle from child processes.
// - realpath() answers the final path with "/" separators, so that paths it gives can be
//   compared by prefix as on POSIX systems.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>

#ifndef S_IFLNK
#define S_IFLNK 0xA000
#endif
#ifndef S_ISLNK
#define S_ISLNK(m) (((m) & S_IFMT) == S_IFLNK)
#endif
#define O_NOFOLLOW 0x100000
#define O_DIRECTORY 0x200000
#define O_NONBLOCK 0
#define O_CLOEXEC 0
#ifndef R_OK
#define F_OK 0
#define W_OK 2
#define R_OK 4
#endif
#ifndef X_OK
#define X_OK 1
#endif

struct qm_stat {
    uint64_t st_dev = 0;
    uint64_t st_ino = 0;
    unsigned st_mode = 0;
    unsigned st_nlink = 0;
    unsigned st_uid = 0;
    int64_t st_size = 0;
    struct timespec st_atim {};
    struct timespec st_mtim {};
    struct timespec st_ctim {};
};

int qm_stat_path(const char* path, qm_stat* st, bool followLinks);
int qm_fstat(int fd, qm_stat* st);
int qm_open(const char* path, int flags, int mode = 0);
int qm_access(const char* path, int mode);
char* qm_realpath(const char* path, char* resolved);

int qm_mkdir(const char* path);

#define stat qm_stat
inline int qm_stat(const char* path, struct qm_stat* st) { return qm_stat_path(path, st, true); }
inline int lstat(const char* path, struct qm_stat* st) { return qm_stat_path(path, st, false); }
#define fstat qm_fstat
#define open qm_open
#define access qm_access
#define realpath qm_realpath
inline int mkdir(const char* path, unsigned) { return qm_mkdir(path); }
// One user owns what a program of that user sees; folders are private to their owner
// by the rights they inherit.
inline unsigned geteuid() { return 0; }
inline int fchmod(int, unsigned) { return 0; }
