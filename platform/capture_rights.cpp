#include "platform/capture_rights.h"

#include <sys/capability.h>

#include <cerrno>
#include <cstring>

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
