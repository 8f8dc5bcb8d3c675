#pragma once
// A job's private folder for its page files and job file, locked while the job lasts.

#include <QString>

// A job's private folder (mode 0700): a new one under $XDG_RUNTIME_DIR/corvane, or in /tmp when the
// session has no runtime folder. While its job lasts the agent holds an exclusive lock (flock) on the
// folder; the kernel drops it when the agent ends in any way, so a folder nobody locks is one whose
// agent is gone.
struct JobFolder {
    QString path; // with its trailing '/'; empty when it cannot be made
    int lockFd = -1;
};

// A new folder for the job, locked; empty with the reason when it cannot be made.
JobFolder MakeJobFolder(quint32 jobId, QString *why);
// Removes the folder with whatever is left in it (it holds only files) and lets its lock go.
void RemoveJobFolder(JobFolder &folder);
// Removes the job folders that agents which are gone have left: only folders of this user, under this
// session's base (or /tmp without one), that no running agent holds. Returns how many went.
int RemoveLeftJobFolders();
