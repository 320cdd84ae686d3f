#include "platform/capture_rights.h"

#include <sys/capability.h>
#include <sys/prctl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/texts.h"

namespace quorvex {

namespace {

cap_value_t kCaptureCaps[] = {CAP_NET_RAW, CAP_NET_ADMIN};
constexpr int kCaptureCapCount = 2;

// Sets `flag` of the capture capabilities; when raising, only those also permitted.
bool SetCaptureFlag(cap_flag_t flag, cap_flag_value_t value) {
    cap_t caps = cap_get_proc();
    if (!caps) return false;
    bool changed = false;
    for (cap_value_t cap : kCaptureCaps) {
        cap_flag_value_t permitted = CAP_CLEAR;
        cap_get_flag(caps, cap, CAP_PERMITTED, &permitted);
        if (value == CAP_SET && permitted != CAP_SET) continue;
        cap_value_t one[] = {cap};
        cap_set_flag(caps, flag, 1, one, value);
        changed = true;
    }
    const bool ok = !changed || cap_set_proc(caps) == 0;
    cap_free(caps);
    return ok;
}

bool AllSet(cap_t caps, cap_flag_t flag) {
    for (cap_value_t cap : kCaptureCaps) {
        cap_flag_value_t v = CAP_CLEAR;
        if (cap_get_flag(caps, cap, flag, &v) != 0 || v != CAP_SET) return false;
    }
    return true;
}

}  // namespace

void RaiseCaptureRights() { SetCaptureFlag(CAP_EFFECTIVE, CAP_SET); }

void LowerCaptureRights() { SetCaptureFlag(CAP_EFFECTIVE, CAP_CLEAR); }

Status DropCaptureRights() {
    cap_t caps = cap_get_proc();
    if (!caps) return Fail(std::strerror(errno));
    cap_set_flag(caps, CAP_EFFECTIVE, kCaptureCapCount, kCaptureCaps, CAP_CLEAR);
    cap_set_flag(caps, CAP_PERMITTED, kCaptureCapCount, kCaptureCaps, CAP_CLEAR);
    cap_set_flag(caps, CAP_INHERITABLE, kCaptureCapCount, kCaptureCaps, CAP_CLEAR);
    const int rc = cap_set_proc(caps);
    const int error = errno;
    cap_free(caps);
    if (rc != 0) return Fail(std::strerror(error));
    return {};
}

Status DropEveryCapability() {
    // The bounding set first: changing it takes CAP_SETPCAP, which root has until below.
    if (CAP_IS_SUPPORTED(CAP_SETPCAP)) {
        cap_t caps = cap_get_proc();
        cap_flag_value_t setpcap = CAP_CLEAR;
        if (caps) cap_get_flag(caps, CAP_SETPCAP, CAP_EFFECTIVE, &setpcap);
        cap_free(caps);
        if (setpcap == CAP_SET) {
            for (cap_value_t c = 0; CAP_IS_SUPPORTED(c); ++c) (void)cap_drop_bound(c);
        }
    }
    (void)prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    cap_t none = cap_init();
    if (!none) return Fail(std::strerror(errno));
    const int rc = cap_set_proc(none);
    const int error = errno;
    cap_free(none);
    if (rc != 0) return Fail(std::strerror(error));
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return Fail(std::strerror(errno));
    // Trust nothing but what the kernel says is left.
    cap_t left = cap_get_proc();
    cap_t empty = cap_init();
    const bool clear = left && empty && cap_compare(left, empty) == 0;
    cap_free(left);
    cap_free(empty);
    if (!clear) return Fail("capabilities are left after dropping them all");
    return {};
}

CaptureRightsState CurrentCaptureRights() {
    CaptureRightsState state;
    cap_t caps = cap_get_proc();
    if (!caps) return state;
    state.effective = AllSet(caps, CAP_EFFECTIVE);
    state.permitted = AllSet(caps, CAP_PERMITTED);
    cap_free(caps);
    return state;
}

}  // namespace quorvex
