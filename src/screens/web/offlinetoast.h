#pragma once

// The warning both web tabs give when the network cannot be reached: the
// page is loaded all the same.
class OfflineToast {
public:
    // Asks a new internet reachability object for its current status.
    static bool internetReachable();
    // Shows "网络不可用" for 3 s in the centre unless `reachable`.
    static void showUnless(bool reachable);
};
