#include "capture/live_device.h"

#include "platform/text_format.h"
#include "platform/texts.h"

namespace quorvex {

namespace {

constexpr int kSnapLength = 65535;
constexpr int kReadTimeoutMs = 1;
constexpr int kKernelBufferBytes = 32 * 1024 * 1024;
constexpr char kFilter[] = "ip and udp";

}  // namespace

Status RequireEthernetAndFilter(pcap_t* handle, const std::string& failureText) {
    if (pcap_datalink(handle) != DLT_EN10MB) {
        return Fail(failureText + "\n" + Tr("This program works only on Ethernet networks."));
    }
    bpf_program program{};
    if (pcap_compile(handle, &program, kFilter, 1, 0x00FFFFFF) < 0) {
        return Fail(failureText + "\n" +
                    Tr("Unable to compile the packet filter. Check the syntax."));
    }
    const int set = pcap_setfilter(handle, &program);
    pcap_freecode(&program);
    if (set < 0) return Fail(failureText + "\n" + Tr("Error setting the filter."));
    return {};
}

Result<pcap_t*> OpenLiveDevice(const std::string& name, const std::string& permissionHint) {
    const std::string failureText = Tr("打开网卡出错!");
    if (name.empty()) return Fail(Tr("打开网卡出错!\nNo device name was given."));
    char errbuf[PCAP_ERRBUF_SIZE] = {};
    pcap_t* handle = pcap_create(name.c_str(), errbuf);
    if (!handle) return Fail(Format(Tr("打开网卡出错!\n%s"), errbuf));
    pcap_set_snaplen(handle, kSnapLength);
    pcap_set_promisc(handle, 1);
    pcap_set_timeout(handle, kReadTimeoutMs);
    // A large kernel buffer rides out bursts and short pauses of the reader.
    pcap_set_buffer_size(handle, kKernelBufferBytes);
    const int rc = pcap_activate(handle);
    if (rc < 0) {
        std::string reason = pcap_geterr(handle);
        if (reason.empty()) reason = pcap_statustostr(rc);
        std::string text = failureText + "\n" + reason;
        if (rc == PCAP_ERROR_PERM_DENIED) text += permissionHint;
        pcap_close(handle);
        return Fail(text);
    }
    if (const Status usable = RequireEthernetAndFilter(handle, failureText); !usable) {
        pcap_close(handle);
        return Fail(usable.error());
    }
    // With the kernel's block ring a read on an idle network may wait for good: read without
    // blocking and wait in poll(), a millisecond at a time.
    pcap_setnonblock(handle, 1, errbuf);
    return handle;
}

}  // namespace quorvex
