#pragma once
// The capabilities a live capture needs (CAP_NET_RAW and CAP_NET_ADMIN). They are effective
// only while a capture device is being opened, as capture tools do it, so a fault in packet
// parsing or file writing cannot use them.

#include "platform/result.h"

namespace quorvex {

// Makes the capture capabilities effective, where they are permitted.
void RaiseCaptureRights();
// Removes them from the effective set; they stay permitted for opening another device.
void LowerCaptureRights();
// Removes them for good: nothing this process does later can capture again.
Status DropCaptureRights();
// Removes every capability there is, from every set (the bounding set too, where that is
// allowed), and forbids gaining any through exec (no_new_privs). What a process that opened
// its device keeps is the open device alone. Fails when a capability is left.
Status DropEveryCapability();

struct CaptureRightsState {
    bool effective = false;  // both capabilities
    bool permitted = false;
};
CaptureRightsState CurrentCaptureRights();

}  // namespace quorvex
