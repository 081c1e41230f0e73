#include "screens/web/offlinetoast.h"

#include "platform/network/reachability.h"
#include "ui/toast.h"
#include "ui/toastsettings.h"

bool OfflineToast::internetReachable() {
    const auto reachability = Reachability::reachabilityForInternetConnection();
    return reachability && reachability->currentReachabilityStatus() != Reachability::NotReachable;
}

void OfflineToast::showUnless(bool reachable) {
    if (reachable)
        return;
    Toast::makeText(QStringLiteral("网络不可用"))
        ->setDuration(3000)
        ->setGravity(ToastSettings::kGravityCenter)
        ->show();
}
