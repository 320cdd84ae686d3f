// The dialog's adapter operations: the IP address list, a user's pick in it, and the
// one-shot pre-selection of a gigabit adapter with its link up.

#include "recording/quorvex_dlg.h"

namespace quorvex {

void CQuorvexDlg::FillAdapterList() {
    m_services.ResetContent(ListId::Ip);
    if (m_pcap.FindDevices() == 0 || m_pcap.m_devices.empty()) return;
    m_adapterInfo.DescribeDevices(m_pcap.m_devices);
    for (const DeviceEntry& d : m_pcap.m_devices) m_services.AddString(ListId::Ip, d.address);
    m_services.SetCurSel(ListId::Ip, 0);
    m_strDevName = m_pcap.m_devices[0].name;
    m_strDevIp = m_pcap.m_devices[0].address;
    UpdateData(false);
}

void CQuorvexDlg::OnCbnSelchangeIp() {
    UpdateData(true);
    const int sel = m_services.GetCurSel(ListId::Ip);
    if (sel >= 0 && static_cast<size_t>(sel) < m_pcap.m_devices.size()) {
        m_strDevName = m_pcap.m_devices[static_cast<size_t>(sel)].name;
        m_strDevIp = m_pcap.m_devices[static_cast<size_t>(sel)].address;
        m_pcap.m_bOpen = 0;
        m_pcap.OpenDevice(m_strDevName);
    }
    UpdateData(false);
}

int CQuorvexDlg::AutoSelectAdapter() {
    const size_t shown = m_pcap.m_devices.size();
    if (m_pcap.FindDevices() == 0 || m_pcap.m_devices.empty()) return 0;
    m_adapterInfo.DescribeDevices(m_pcap.m_devices);
    const int choice = ChooseAdapter(m_pcap.m_devices, shown, [this](const std::string& name) {
        return m_adapterInfo.LinkStatusOfDevice(name);
    });
    if (choice < 0) return 0;
    m_services.SetCurSel(ListId::Ip, choice);
    m_strDevName = m_pcap.m_devices[static_cast<size_t>(choice)].name;
    UpdateData(false);
    return 1;
}

}  // namespace quorvex
