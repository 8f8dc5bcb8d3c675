#pragma once
// Where a job's filter finds the printing user's agent, and who may talk to whom.

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// Where a job's filter finds the agent of the person who printed it, and who may talk to whom.
//
// The agent listens on an abstract Unix socket (SOCK_SEQPACKET) named "corvane-agent/<uid>": the filter
// knows nothing of the user's session but the job's user name, and an abstract name needs no folder the
// filter could reach. Any local user can bind any abstract name, so the name proves nothing; the
// kernel's credentials of the peer (SO_PEERCRED) do: the filter hands a job only to a listener whose
// uid is the job's user's, and the agent takes jobs only from root or the scheduler's filter user.
namespace rendezvous {

// The abstract name for uid, without the leading NUL byte.
QByteArray AgentSocketName(uid_t uid);

struct Verdict {
    bool allowed = false;
    QString reason; // why not, for the job log or the agent's log; empty when allowed
};

// The filter's side: may the listener with agentUid receive a job of the user with jobUid?
Verdict JudgeAgent(uid_t agentUid, uid_t jobUid);
// The agent's side: may the connecting process with peerUid hand in a job? Only root and
// filterUserUid (the uid the scheduler runs filters as) may; (uid_t)-1 for filterUserUid admits root only.
Verdict JudgeFilter(uid_t peerUid, uid_t filterUserUid);

// The uid of the scheduler's filter user: the user named by CORVANE_FILTER_USER, else "lp"; -1 when
// there is no such user.
uid_t FilterUserUid();

// The peer's uid of a connected Unix socket, or -1.
uid_t PeerUid(int fd);

// A listening socket bound to the agent's name for uid (close-on-exec, non-blocking), or -1 with the
// reason; "in use" when another process holds the name.
int Listen(uid_t uid, QString *why);
// The same on another abstract name (a test's own, which no real agent or filter uses).
int Listen(const QByteArray &name, QString *why);
// A connected socket to the agent's name for uid (close-on-exec, blocking), or -1 with the reason. A
// listener whose backlog stays full for 5 s counts as none.
int Connect(uid_t uid, QString *why);
int Connect(const QByteArray &name, QString *why);

} // namespace rendezvous
