#pragma once
// A headless Wayland desktop for the end-to-end tests.

#include "TestSession.h"

// A Wayland desktop without any X server: weston with its headless backend, listening on a socket in
// the session's private runtime folder, and the session and accessibility buses. Programs started in
// it run on Qt's Wayland platform. One per test run.
class CWaylandSession : public CTestSession {
public:
    static CWaylandSession &Instance();

private:
    CWaylandSession();
    void Start();
};
