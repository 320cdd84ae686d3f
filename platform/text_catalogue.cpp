#include "platform/text_catalogue.h"

namespace quorvex {

namespace {

// The English of a text already written in good English: the text itself.
constexpr const char* kAsWritten = nullptr;

// Keyed by the text as written, grouped by the folder that shows it. Every language keeps
// the printf conversions of the key, in the same order.
constexpr CatalogueText kTexts[] = {
    // sACN and senders without sequence numbers
    {"sACN (E1.31) from %s: sACN universe N is recorded as universe N - %d (the sACN offset).",
     kAsWritten, "来自 %s 的 sACN（E1.31）：sACN 域 N 记录为 Universe N - %d（sACN 偏移）。"},
    {"Art-Net from %s without sequence numbers (Sequence 0).", kAsWritten,
     "来自 %s 的 Art-Net 没有序号（Sequence 为 0）。"},
    {"Frames end at its synchronization packets (address %u).", kAsWritten,
     "帧在其同步包处结束（地址 %u）。"},
    {"Frames end at its ArtSync packets.", kAsWritten, "帧在其 ArtSync 包处结束。"},
    {"Frames end at its pauses of more than %.1f ms between bursts.", kAsWritten,
     "帧在其两批数据之间超过 %.1f 毫秒的停顿处结束。"},
    {"Frames end where a universe comes again: it sends without a pause between frames.",
     kAsWritten, "帧在某个 Universe 再次到来时结束：发送方在帧之间没有停顿。"},
    // How frames are told apart, and what the recording check adds
    {"Art-Net from %s.", kAsWritten, "来自 %s 的 Art-Net。"},
    {"Frames are told apart by the sequence number all universes of a frame share.", kAsWritten,
     "按一帧中所有 Universe 共用的序号区分各帧。"},
    {"universe %d by %d", kAsWritten, "Universe %d 超前 %d"},
    {"Frames are told apart by each universe's own sequence numbers, which advance together "
     "(ahead of the others: %s).",
     kAsWritten, "按每个 Universe 自己的序号区分各帧，这些序号同步递增（超前于其他的：%s）。"},
    {"Frames end where its universes start over in the order it sends them.", kAsWritten,
     "帧在其 Universe 按发送顺序重新开始处结束。"},
    {"It sends only some universes in a frame; the others keep their latest data.", kAsWritten,
     "它每帧只发送部分 Universe；其余的保持最新数据。"},
    {"Warning: nothing tells its frames apart for certain; a frame may hold universes of two "
     "frames of the show.",
     kAsWritten, "警告：没有可靠的方法区分其各帧；一帧可能含有演出中两帧的 Universe。"},
    {"Universe %d: %s stopped; recorded from %s (priority %u) from frame %u on.", kAsWritten,
     "Universe %d：%s 已停止；改为录制 %s（优先级 %u），从第 %u 帧起。"},
    {"Universe %d: %s (priority %u) takes over from %s at frame %u.", kAsWritten,
     "Universe %d：%s（优先级 %u）接替 %s，从第 %u 帧起。"},
    {" %u frames were lost on this machine (the kernel dropped them).", kAsWritten,
     " 本机丢失了 %u 帧（被内核丢弃）。"},
    {" The sender was away for %.1f s (%u times).", kAsWritten, " 发送方中断了 %.1f 秒（%u 次）。"},
    {" %u universes arrived that Parse did not find; they are not in the recording.", kAsWritten,
     " 有 %u 个解析时未找到的 Universe 到达；它们不在录制中。"},
    {" The source of a universe changed %u times.", kAsWritten, " Universe 的数据源更换了 %u 次。"},
    {" %llu malformed packets were passed over.", kAsWritten, " 跳过了 %llu 个格式错误的数据包。"},
    {"Universe %d also arrives as %s; only %s, found by Parse, is recorded.", kAsWritten,
     "Universe %d 也以 %s 到达；只录制解析时找到的 %s 数据。"},
    {"Universe %d from %s ended its sACN stream; its data is not recorded until it sends again.",
     kAsWritten, "Universe %d（来自 %s）结束了其 sACN 数据流；在它重新发送之前不录制其数据。"},
    {"Cannot join a multicast group: %s", kAsWritten, "无法加入组播组：%s"},
    {"Joined the multicast groups of %zu sACN universes on %s.", kAsWritten,
     "已加入 %zu 个 sACN 域的组播组（%s）。"},
    {"no interface %s", "No interface %s", "没有网卡 %s"},
    {"joining %s on %s: %s", "Joining %s on %s: %s", "加入 %s（网卡 %s）失败：%s"},
    {"sACN universes begin at 1", kAsWritten, "sACN 域从 1 开始"},
    {"sACN universe N is recorded as N - this", kAsWritten, "sACN 域 N 记录为 N 减去此值"},
    {"Join the multicast groups of the sACN universes found (IGMP snooping switches)", kAsWritten,
     "加入所找到 sACN 域的组播组（用于开启 IGMP 侦听的交换机）"},
    {"sACN universes whose groups to join before the survey, e.g. 1-8", kAsWritten,
     "解析前要加入其组播组的 sACN 域，例如 1-8"},
    {"The universe port 1 begins with; lower ones are not recorded", kAsWritten,
     "端口 1 开始的 Universe；更小的不录制"},
    {"Only these universes, filling the ports in ascending order, e.g. 100-102,200", kAsWritten,
     "只录制这些 Universe，按升序依次填入各端口，例如 100-102,200"},
    {"Outputs of the controller: a layout that needs more is told (0: not checked)", kAsWritten,
     "控制器的输出端口数：布局需要更多端口时会提示（0：不检查）"},
    // capture/
    {"up", kAsWritten, "已连接"},
    {"down", kAsWritten, "未连接"},
    {"unknown", kAsWritten, "未知"},
    {"查找网卡出错!\n"
     "%s",
     "Cannot list the network adapters!\n"
     "%s",
     "查找网卡出错！\n"
     "%s"},
    {"\tAddress Family Name: Unknown", kAsWritten, "\t地址族：未知"},
    {"\tAddress: %s", kAsWritten, "\t地址：%s"},
    {"\tNetmask: %s", kAsWritten, "\t子网掩码：%s"},
    {"\tBroadcast Address: %s", kAsWritten, "\t广播地址：%s"},
    {"\tDestination Address: %s", kAsWritten, "\t目标地址：%s"},
    {"\n"
     "Capturing needs root or the capture capabilities. The members of the group quorvex "
     "capture through the capture helper quorvex-capture: sudo usermod -aG quorvex $USER",
     kAsWritten,
     "\n"
     "抓包需要 root 权限或抓包能力。quorvex 组的成员通过抓包助手 quorvex-capture 抓包："
     "sudo usermod -aG quorvex $USER"},
    {"The capture helper %s did not answer within %d s.", kAsWritten,
     "抓包助手 %s 在 %d 秒内没有应答。"},
    {"Cannot run the capture helper %s: only root and the members of the group quorvex may "
     "capture. Add yourself to it and log in again: sudo usermod -aG quorvex $USER",
     kAsWritten,
     "无法运行抓包助手 %s：只有 root 和 quorvex 组的成员可以抓包。请把自己加入该组并重新登录："
     "sudo usermod -aG quorvex $USER"},
    {"Cannot run the capture helper %s: %s", kAsWritten, "无法运行抓包助手 %s：%s"},
    {"the capture helper has not told its counters", kAsWritten, "抓包助手尚未报告其计数"},
    {"the capture helper stopped sending packets", kAsWritten, "抓包助手停止发送数据包"},
    {"the capture helper ended by signal %d", kAsWritten, "抓包助手被信号 %d 终止"},
    {"the capture helper ended with exit status %d", kAsWritten, "抓包助手已退出，退出状态为 %d"},
    // capture_helper/
    {"Only root and the members of the group quorvex may capture. Add yourself to it and log "
     "in again: sudo usermod -aG quorvex $USER",
     kAsWritten,
     "只有 root 和 quorvex 组的成员可以抓包。请把自己加入该组并重新登录："
     "sudo usermod -aG quorvex $USER"},
    {"Only root and the members of the group quorvex may capture, and there is no such group. "
     "Create it and add yourself to it, then log in again: sudo addgroup --system quorvex && "
     "sudo usermod -aG quorvex $USER",
     kAsWritten,
     "只有 root 和 quorvex 组的成员可以抓包，而系统中没有这个组。请创建该组并把自己加入，"
     "然后重新登录：sudo addgroup --system quorvex && sudo usermod -aG quorvex $USER"},
    {"Usage: quorvex-capture --interface NAME [--join 239.255.X.Y]...\n"
     "Opens the network interface NAME for capture as Quorvex does, gives up every\n"
     "capability and writes its UDP packets to standard output as a pcap stream.\n"
     "  --interface NAME  the interface to capture on\n"
     "  --join GROUP      join this sACN multicast group on it (repeatable)\n"
     "  --help            print this help and exit\n"
     "  --version         print the program's name and version and exit\n",
     kAsWritten,
     "用法：quorvex-capture --interface 网卡名 [--join 239.255.X.Y]...\n"
     "以 Quorvex 的方式打开网卡用于抓包，放弃所有能力，\n"
     "并把其 UDP 数据包以 pcap 流写到标准输出。\n"
     "  --interface NAME  要抓包的网卡\n"
     "  --join GROUP      在该网卡上加入此 sACN 组播组（可重复）\n"
     "  --help            显示此帮助并退出\n"
     "  --version         显示程序名和版本并退出\n"},
    {"--join needs an sACN multicast group 239.255.X.Y, not \"%s\"", kAsWritten,
     "--join 需要一个 sACN 组播组 239.255.X.Y，而不是 \"%s\""},
    {"Standard output is a terminal: send the packet stream to a file or a pipe.", kAsWritten,
     "标准输出是终端：请把数据包流送到文件或管道。"},
    {"Writing the packet stream failed: %s", kAsWritten, "写入数据包流失败：%s"},
    {"\n"
     "The capture helper %s lacks the capture capabilities (a file system without extended "
     "attributes?). Give them to it: sudo setcap cap_net_raw,cap_net_admin=ep %s",
     kAsWritten,
     "\n"
     "抓包助手 %s 缺少抓包能力（文件系统不支持扩展属性？）。请赋予它："
     "sudo setcap cap_net_raw,cap_net_admin=ep %s"},
    {"Cannot give up the capture capabilities: %s", kAsWritten, "无法放弃抓包能力：%s"},
    {"This program works only on Ethernet networks.", kAsWritten, "本程序只能用于以太网。"},
    {"Unable to compile the packet filter. Check the syntax.", kAsWritten,
     "无法编译数据包过滤器，请检查语法。"},
    {"Error setting the filter.", kAsWritten, "设置过滤器出错。"},
    {"打开网卡出错!\n"
     "No device name was given.",
     "Cannot open the network adapter!\n"
     "No device name was given.",
     "打开网卡出错！\n"
     "没有给出设备名。"},
    {"打开网卡出错!\n"
     "%s",
     "Cannot open the network adapter!\n"
     "%s",
     "打开网卡出错！\n"
     "%s"},
    {"打开网卡出错!", "Cannot open the network adapter!", "打开网卡出错！"},
    {"Cannot open the capture file %s\n"
     "%s",
     kAsWritten,
     "无法打开抓包文件 %s\n"
     "%s"},
    {"Cannot open the capture file %s", kAsWritten, "无法打开抓包文件 %s"},
    // analysis/
    {"Layout in use: %d universes per port, %d ports, %u bytes per frame.", kAsWritten,
     "使用的布局：每个端口 %d 个 Universe，共 %d 个端口，每帧 %u 字节。"},
    {"Port %d: universes %s, %u bytes.", kAsWritten, "端口 %d：Universe %s，%u 字节。"},
    {"none", kAsWritten, "无"},
    {"Universes recorded, in port order: %s.", kAsWritten, "录制的 Universe（按端口顺序）：%s。"},
    {"Port 1 begins at universe %d.", kAsWritten, "端口 1 从 Universe %d 开始。"},
    {"Not recorded, as they are outside the universes chosen: universes %s.", kAsWritten,
     "不录制，因为它们不在所选的 Universe 之内：Universe %s。"},
    {"Port 1 carries no universe, as the lowest universe recorded is %d: choose %d as the "
     "first universe so that port 1 begins with it.",
     kAsWritten,
     "端口 1 不含任何 Universe，因为录制的最小 Universe 是 %d：把第一个 Universe 设为 %d，端口 1 "
     "就从它开始。"},
    {"Ports 1 to %d carry no universe, as the lowest universe recorded is %d: choose %d as the "
     "first universe so that port 1 begins with it.",
     kAsWritten,
     "端口 1 到 %d 不含任何 Universe，因为录制的最小 Universe 是 %d：把第一个 Universe 设为 "
     "%d，端口 1 就从它开始。"},
    {"The recording needs %d ports, more than the %d of the controller.", kAsWritten,
     "录制需要 %d 个端口，多于控制器的 %d 个端口。"},
    {"... and %d more ports.", kAsWritten, "……另有 %d 个端口。"},
    {"a start condition is first-light or UNIVERSE/CHANNEL>=VALUE, for example 5/1>=128",
     kAsWritten, "开始条件应为 first-light 或 UNIVERSE/CHANNEL>=VALUE，例如 5/1>=128"},
    {"the universe of a start condition is 0 to 32767", kAsWritten,
     "开始条件中的 Universe 应在 0 到 32767 之间"},
    {"the channel of a start condition is 1 to 512", kAsWritten,
     "开始条件中的通道应在 1 到 512 之间"},
    {"the value of a start condition is 0 to 255", kAsWritten,
     "开始条件中的数值应在 0 到 255 之间"},
    {"on Capture", kAsWritten, "点击采集时"},
    {"first light", kAsWritten, "首次亮灯"},
    {"universe %d channel %d >= %d", kAsWritten, "Universe %d 通道 %d >= %d"},
    {"The start trigger watches universe %d, which Parse did not find.", kAsWritten,
     "开始触发条件监视 Universe %d，但解析时没有找到它。"},
    {"The start trigger watches channel %d of universe %d, which sends only %d channels.",
     kAsWritten, "开始触发条件监视的通道 %d 属于 Universe %d，而它只发送 %d 个通道。"},
    {"Nothing arrives on %s: no packet in %g s. Check the cable, and that the show sends to "
     "this network.",
     kAsWritten,
     "%s 上什么也没有收到：%g 秒内没有数据包。请检查网线，并确认演出数据发往这个网络。"},
    {"Packets arrive on %s, but no Art-Net ArtDmx among them in %g s.", kAsWritten,
     "%s 上有数据包，但 %g 秒内其中没有 Art-Net ArtDmx。"},
    {"Parse to %d Universes", "Universes found: %d", "解析到 %d 个 Universe"},
    {"Max universe num is:%d", "Highest universe: %d", "最大 Universe 编号：%d"},
    {"The current setting is that each port carries %d universes，The capture file will be "
     "set to %d ports.",
     "Universes per port: %d; ports in the recording: %d.",
     "当前设置为每个端口 %d 个 Universe，录制文件将有 %d 个端口。"},
    {"The length of each frame is %u bytes.", kAsWritten, "每帧长度为 %u 字节。"},
    // recording/
    {"打开网卡出错!\n"
     "Capturing needs root or the capture helper quorvex-capture, which is neither beside this "
     "program nor installed.",
     "Cannot open the network adapter!\n"
     "Capturing needs root or the capture helper quorvex-capture, which is neither beside this "
     "program nor installed.",
     "打开网卡出错！\n"
     "抓包需要 root 权限或抓包助手 quorvex-capture，但它既不在本程序旁边，也没有安装。"},
    {"Cannot reserve %zu MB for the frame buffer; choose a smaller one.", kAsWritten,
     "无法为帧缓冲区预留 %zu MB，请选择更小的值。"},
    {"Waiting for Art-Net or sACN on %s…", "Waiting for Art-Net or sACN on %s...",
     "正在等待 %s 上的 Art-Net 或 sACN…"},
    {"Capture error: %s", kAsWritten, "抓包错误：%s"},
    {"Universe num:%d, out of range！", "Universe %d is out of range!", "Universe %d 超出范围！"},
    {"Universe %d was not found by Parse; its data is not recorded.", kAsWritten,
     "解析时没有找到 Universe %d，它的数据不会被录制。"},
    {"Universe %d also arrives from %s; only %s, found by Parse, is recorded.", kAsWritten,
     "Universe %d 也来自 %s；只录制解析时找到的 %s 发来的数据。"},
    {"Universe %d sends %d bytes, more than the %d found by Parse; the rest is not recorded.",
     kAsWritten, "Universe %d 发送了 %d 字节，多于解析时找到的 %d 字节；多出的部分不会被录制。"},
    {"No frame for 2 s: is the show still sending to %s?", kAsWritten,
     "2 秒没有收到帧：演出是否仍在向 %s 发送？"},
    {"Frames arrive again.", kAsWritten, "帧又恢复到达。"},
    {"Start trigger fired: recording from this frame on.", kAsWritten,
     "开始触发条件已满足：从这一帧开始录制。"},
    {"The start trigger's channel fell below its value again: the recording ends.", kAsWritten,
     "开始触发条件的通道又低于设定值：录制结束。"},
    {"pos:%u,len:%d", "Position %u, length %d", "位置 %u，长度 %d"},
    {"Receive error!", kAsWritten, "接收出错！"},
    {"Stopped！", "Stopped!", "已停止！"},
    {"read from a capture file.", kAsWritten, "读自抓包文件。"},
    {"%u packets dropped by the kernel.", kAsWritten, "内核丢弃了 %u 个数据包。"},
    {"kernel drops unknown.", kAsWritten, "内核丢包数未知。"},
    {"Recording check: %u frames written in %.1f s (%.1f frames/s), %u frames missing "
     "upstream, %u incomplete frames, %s",
     kAsWritten,
     "录制检查：%u 帧已写入，用时 %.1f 秒（%.1f 帧/秒），上游缺失 %u 帧，不完整帧 %u 个，%s"},
    {"Recording check: %u frames written, %u frames missing upstream, %u incomplete frames, %s",
     kAsWritten, "录制检查：%u 帧已写入，上游缺失 %u 帧，不完整帧 %u 个，%s"},
    {"no capture device is named \"%s\" (see quorvex-cli devices)", kAsWritten,
     "没有名为“%s”的抓包设备（参见 quorvex-cli devices）"},
    {"Please choose a network adapter in the IP address list first！",
     "Please choose a network adapter in the IP address list first!",
     "请先在 IP 地址列表中选择网卡！"},
    {"Currently Capturing , please stop and try！",
     "Currently capturing; please stop first and try again!", "正在采集，请先停止再试！"},
    {"Parsing network packets, please wait for the result！",
     "Parsing network packets; please wait for the result!", "正在解析网络数据包，请等待结果！"},
    {"Parsing network packets, please start again later！",
     "Parsing network packets; please try again later!", "正在解析网络数据包，请稍后再开始！"},
    {"Paused......", "Paused...", "已暂停……"},
    {"The recording that was to follow Parse is cancelled.", kAsWritten,
     "原定在解析之后开始的录制已取消。"},
    {"Nothing to record: Parse found no universe.", kAsWritten,
     "没有可录制的内容：解析没有找到任何 Universe。"},
    {"No survey yet: Parse runs first, and the recording starts as soon as it has found the "
     "universes.",
     kAsWritten, "尚未解析：先运行解析，一旦找到 Universe 就开始录制。"},
    {"None of the universes found by Parse (%s) is among the universes chosen (%s).", kAsWritten,
     "解析找到的 Universe（%s）都不在所选的 Universe（%s）之内。"},
    {"Universe %d at %d universes per port needs %d ports; a recording holds at most %d. "
     "Choose more universes per port, or keep universe %d out of the show.",
     kAsWritten,
     "Universe %d 在每端口 %d 个 Universe 时需要 %d 个端口；一个录制文件最多 %d 个端口。"
     "请增大每端口的 Universe 数，或让 Universe %d 不参与演出。"},
    {"An unsaved recording of %u frames was moved aside: %s", kAsWritten,
     "一个 %u 帧的未保存录制已移到一旁：%s"},
    {"Cannot write the recording file %s\n"
     "%s",
     kAsWritten,
     "无法写入录制文件 %s\n"
     "%s"},
    {"Writing the recording failed: %s", kAsWritten, "写入录制文件失败：%s"},
    {"Start capture......", "Capture started...", "开始采集……"},
    {"A recording holds at most %u frames; this one stops there.", kAsWritten,
     "一个录制文件最多 %u 帧；本次录制到此为止。"},
    {"The recording ends after %s of show time, or at %u frames.", kAsWritten,
     "录制在演出时间 %s 后结束，或在 %u 帧时结束。"},
    {"Start trigger armed: the recording begins with the first frame with %s.", kAsWritten,
     "开始触发条件已就绪：录制从第一个满足“%s”的帧开始。"},
    {"The recording could not be finished (%s).\n"
     "It was kept as \"temp.RGB\": %s",
     kAsWritten,
     "录制无法完成（%s）。\n"
     "已保留为“temp.RGB”：%s"},
    {"The recording could not be saved as %s (%s).\n"
     "It was kept as \"temp.RGB\": %s",
     kAsWritten,
     "录制无法保存为 %s（%s）。\n"
     "已保留为“temp.RGB”：%s"},
    {"Saved: %s", kAsWritten, "已保存：%s"},
    {"The recording was not saved: its %u frames are kept in %s until the next Capture moves "
     "them aside.",
     kAsWritten, "录制没有保存：它的 %u 帧保留在 %s 中，直到下次采集把它移到一旁。"},
    {"It is on the removable medium %s (%s), synced: the medium can be pulled out now.", kAsWritten,
     "它位于可移动介质 %s（%s）上，已同步：现在可以拔出该介质。"},
    {"it is the working file itself", kAsWritten, "它就是工作文件本身"},
    {"The recording notes could not be written: %s", kAsWritten, "无法写入录制说明：%s"},
    {"The recording is at %s, but its folder could not be synced (%s): a power cut now may lose "
     "it.",
     kAsWritten, "录制文件位于 %s，但无法同步其文件夹（%s）：此时断电可能丢失该文件。"},
    {"An unsaved recording of %u frames is kept in %s; the next Capture moves it aside.",
     kAsWritten, "保留着一个 %u 帧的未保存录制，位于 %s；下次采集会先把它移到一旁。"},
    {"Universes/Port must be a whole number from 1 to 8！",
     "Universes/Port must be a whole number from 1 to 8!",
     "每端口 Universe 数必须是 1 到 8 的整数！"},
    {"\"%s\" is missing or not a whole number", kAsWritten, "“%s”缺失或不是整数"},
    {"\"%s\" must be from %lld to %lld", kAsWritten, "“%s”必须在 %lld 到 %lld 之间"},
    {"\"%s\" is missing or not a number of at least 0", kAsWritten, "“%s”缺失或不是不小于 0 的数"},
    {"\"%s\" is missing or not text", kAsWritten, "“%s”缺失或不是文本"},
    {"\"%s\" is missing or not true/false", kAsWritten, "“%s”缺失或不是 true/false"},
    {"\"universes\" is missing or not a list", kAsWritten, "“universes”缺失或不是列表"},
    {"an entry of \"universes\" is not an object", kAsWritten, "“universes”中有一项不是对象"},
    {"\"universes\" must be in ascending order without repeats", kAsWritten,
     "“universes”必须按升序排列且不重复"},
    {"\"check\" is missing or not an object", kAsWritten, "“check”缺失或不是对象"},
    {"\"selectedUniverses\" is not a list of universes", kAsWritten,
     "“selectedUniverses”不是 Universe 列表"},
    {"check: \"kernelDropped\" is missing", kAsWritten, "check：缺少“kernelDropped”"},
    {"check: %s (or null when unknown)", kAsWritten, "check：%s（未知时可为 null）"},
    {"not valid JSON", kAsWritten, "不是有效的 JSON"},
    {"not recording notes: a JSON object is expected", kAsWritten,
     "不是录制说明：应为一个 JSON 对象"},
    {"not recording notes: %s", kAsWritten, "不是录制说明：%s"},
    {"cannot create a temporary file beside %s", kAsWritten, "无法在 %s 旁边创建临时文件"},
    {"the file takes no more data", kAsWritten, "文件无法再写入更多数据"},
    {"cannot write %s: %s", kAsWritten, "无法写入 %s：%s"},
    {"%s is not a regular file", kAsWritten, "%s 不是普通文件"},
    {"%s is too large for recording notes", kAsWritten, "%s 太大，不可能是录制说明"},
    {"cannot remove %s: %s", kAsWritten, "无法删除 %s：%s"},
    {"cannot move %s to %s: %s", kAsWritten, "无法把 %s 移动到 %s：%s"},
    {"%s is not a regular file (a symbolic link or a special file). Nothing was written to "
     "it; remove it and try again.",
     kAsWritten, "%s 不是普通文件（是符号链接或特殊文件）。没有向它写入任何内容；请删除它后重试。"},
    {"Another recording is writing %s right now. Wait for it to finish, or record into "
     "another folder.",
     kAsWritten, "另一个录制正在写入 %s。请等它结束，或录制到另一个文件夹。"},
    {"cannot read the header: %s", kAsWritten, "无法读取文件头：%s"},
    {"cannot drop the partial frame: %s", kAsWritten, "无法丢弃不完整的帧：%s"},
    {"cannot write the frame count: %s", kAsWritten, "无法写入帧数：%s"},
    {"cannot sync the file: %s", kAsWritten, "无法同步文件：%s"},
    {"Another recording started using %s at the same moment; nothing was written to it.",
     kAsWritten, "另一个录制在同一时刻开始使用 %s；没有向它写入任何内容。"},
    {"Another recording is writing %s right now.", kAsWritten, "另一个录制正在写入 %s。"},
    {"the file is not open", kAsWritten, "文件未打开"},
    {"cannot move %s aside: %s", kAsWritten, "无法把 %s 移到一旁：%s"},
    {"cannot move %s aside: too many unsaved recordings in %s", kAsWritten,
     "无法把 %s 移到一旁：%s 中未保存的录制太多"},
    {"too short for a header", kAsWritten, "太短，不足一个文件头"},
    {"too short for the header it declares", kAsWritten, "太短，不足它声明的文件头长度"},
    {"%d pixels a row are too many to draw", kAsWritten, "每行 %d 个像素，太多，无法绘制"},
    {"%llu rows of %d pixels are too many to draw; draw every %llu frames or more", kAsWritten,
     "%llu 行、每行 %d 个像素，太多，无法绘制；请每隔 %llu 帧或更多绘制一帧"},
    {"frame %u is short", kAsWritten, "第 %u 帧太短"},
    // cli/
    {"cannot open the interface %s", kAsWritten, "无法打开网卡 %s"},
    {"cannot open the capture file %s", kAsWritten, "无法打开抓包文件 %s"},
    {"surveying the interface %s", kAsWritten, "正在解析网卡 %s"},
    {"surveying the capture file %s", kAsWritten, "正在解析抓包文件 %s"},
    {"surveying the interface %s (time-out %g s)", kAsWritten, "正在解析网卡 %s（超时 %g 秒）"},
    {"surveying the capture file %s (time-out %g s)", kAsWritten,
     "正在解析抓包文件 %s（超时 %g 秒）"},
    {"interrupted during the survey; nothing recorded", kAsWritten,
     "解析时被中断；没有录制任何内容"},
    {"no whole Art-Net frame seen on the interface %s within %g s; check the cable and the "
     "adapter, run 'quorvex-cli devices' to list the adapters, or 'quorvex-cli monitor "
     "--interface %s' to watch what arrives",
     kAsWritten,
     "网卡 %s 上 %g 秒内没有收到完整的 Art-Net 帧；请检查网线和网卡，运行“quorvex-cli "
     "devices”列出网卡，或运行“quorvex-cli monitor --interface %s”查看收到了什么"},
    {"no whole Art-Net frame seen on the capture file %s within %g s", kAsWritten,
     "抓包文件 %s 中 %g 秒内没有找到完整的 Art-Net 帧"},
    {"no Art-Net universe found on the interface %s", kAsWritten,
     "网卡 %s 上没有找到 Art-Net Universe"},
    {"no Art-Net universe found on the capture file %s", kAsWritten,
     "抓包文件 %s 中没有找到 Art-Net Universe"},
    {"interrupted before the recording started; nothing recorded", kAsWritten,
     "录制开始前被中断；没有录制任何内容"},
    {"aborted; the frames recorded so far are kept in %s", kAsWritten,
     "已放弃；目前录制的帧保留在 %s 中"},
    {"stopping at the next frame boundary", kAsWritten, "将在下一个帧边界停止"},
    {"until stopped (at most %u frames)", kAsWritten, "直到停止（最多 %u 帧）"},
    {"for %s", kAsWritten, "时长 %s"},
    {"for %s or up to %u frames, whichever comes first", kAsWritten,
     "时长 %s 或最多 %u 帧，以先到者为准"},
    {"up to %u frames", kAsWritten, "最多 %u 帧"},
    {" or until the channel falls below %d again", kAsWritten, "，或直到该通道再次低于 %d"},
    {"recording %s; Ctrl-C stops and saves", kAsWritten, "录制%s；按 Ctrl-C 停止并保存"},
    {"waiting for %s, then recording %s; Ctrl-C stops and saves", kAsWritten,
     "等待%s，然后录制%s；按 Ctrl-C 停止并保存"},
    {"no frame was recorded; %s was left as it was", kAsWritten, "没有录制到任何帧；%s 保持原样"},
    {"no frame was recorded; nothing was saved", kAsWritten, "没有录制到任何帧；没有保存任何内容"},
    {"the recording was not saved as %s", kAsWritten, "录制没有保存为 %s"},
    {"%u frames saved in %s", kAsWritten, "%u 帧已保存到 %s"},
    {"%llu packets read in %.3f s (%.0f packets/s)", kAsWritten,
     "%llu 个数据包已读取，用时 %.3f 秒（%.0f 个数据包/秒）"},
    {"no frame was recorded", kAsWritten, "没有录制到任何帧"},
    {"the recording is not whole: %u incomplete frames, %u frames lost on this machine, %u "
     "packets dropped by the kernel (--strict)",
     kAsWritten, "录制不完整：不完整帧 %u 个，本机丢失 %u 帧，内核丢弃 %u 个数据包（--strict）"},
    {"* the adapter the window would choose by itself\n", kAsWritten,
     "* 窗口程序会自动选择的网卡\n"},
    {"--output must name a file, not a folder: %s", kAsWritten,
     "--output 必须是文件，而不是文件夹：%s"},
    {"the folder of --output, %s, is not a folder", kAsWritten, "--output 所在的 %s 不是文件夹"},
    {"the folder %s does not exist; add --mkdir to create it", kAsWritten,
     "文件夹 %s 不存在；加上 --mkdir 可创建它"},
    {"cannot create the folder %s: %s", kAsWritten, "无法创建文件夹 %s：%s"},
    {"%s already exists; add --overwrite to replace it", kAsWritten,
     "%s 已存在；加上 --overwrite 可替换它"},
    {"--until-stopped and --duration exclude each other", kAsWritten,
     "--until-stopped 与 --duration 不能同时使用"},
    {"--until-stopped and --frames exclude each other", kAsWritten,
     "--until-stopped 与 --frames 不能同时使用"},
    {"--duration needs a time in one of the forms %s, above 0, not \"%s\"", kAsWritten,
     "--duration 需要以下形式之一、大于 0 的时长：%s，而不是“%s”"},
    {"--stop-when-released needs a channel condition, such as --start-when 5/1>=128", kAsWritten,
     "--stop-when-released 需要一个通道条件，例如 --start-when 5/1>=128"},
    {"Input on %s", kAsWritten, "%s 上的输入"},
    {"%s input on %s", kAsWritten, "%s 输入，网卡 %s"},
    {"Art-Net and sACN", kAsWritten, "Art-Net 和 sACN"},
    {", %s (Ctrl-C ends)\n", kAsWritten, "，%s（按 Ctrl-C 结束）\n"},
    {" over %.1f s:\n", kAsWritten, "，%.1f 秒内：\n"},
    {"No Art-Net or sACN seen yet.\n", kAsWritten, "尚未收到 Art-Net 或 sACN。\n"},
    {"No Art-Net or sACN seen.\n", kAsWritten, "没有收到 Art-Net 或 sACN。\n"},
    {"Universe %d: nothing seen yet.\n", kAsWritten, "Universe %d：尚未收到数据。\n"},
    {"Universe %d: nothing seen.\n", kAsWritten, "Universe %d：没有收到数据。\n"},
    {"Universe %d, %u channels:\n", kAsWritten, "Universe %d，%u 个通道：\n"},
    {"stale", kAsWritten, "已停"},
    {"%llu packets of further universes and senders were not followed\n", kAsWritten,
     "另有 %llu 个数据包来自未跟踪的 Universe 和发送方\n"},
    {"no Art-Net or sACN seen on the interface %s; check the cable and the adapter, or run "
     "'quorvex-cli devices' to list the adapters",
     kAsWritten,
     "网卡 %s 上没有收到 Art-Net 或 sACN；请检查网线和网卡，或运行“quorvex-cli devices”列出网卡"},
    {"Notes (%s):\n", kAsWritten, "说明（%s）：\n"},
    {"  Universe %d: %u bytes from %s, port %d\n", kAsWritten,
     "  Universe %d：%u 字节，来自 %s，端口 %d\n"},
    {"  Universe %d: %u bytes from %s, not recorded\n", kAsWritten,
     "  Universe %d：%u 字节，来自 %s，不录制\n"},
    {"Universes and senders:\n", kAsWritten, "Universe 与发送方：\n"},
    {"  %d universes per port, %d ports, IC type %s, RGBW\n", kAsWritten,
     "  每端口 %d 个 Universe，%d 个端口，IC 类型 %s，RGBW\n"},
    {"  %d universes per port, %d ports, IC type %s\n", kAsWritten,
     "  每端口 %d 个 Universe，%d 个端口，IC 类型 %s\n"},
    {"  Recorded from %s at %.1f frames/s\n", kAsWritten, "  录制开始于 %s，%.1f 帧/秒\n"},
    {"cannot repair %s: %s", kAsWritten, "无法修复 %s：%s"},
    {"cannot repair %s, left as it was: %s", kAsWritten, "无法修复 %s，文件保持原样：%s"},
    {"warning: %s is saved, but its notes could not be written: %s", kAsWritten,
     "警告：%s 已保存，但无法写入其录制说明：%s"},
    {"Nothing to repair in %s: its header counts its %u whole frames.\n", kAsWritten,
     "%s 无需修复：文件头记录的正是它的 %u 个完整帧。\n"},
    {"Repaired %s: the header counted %u frames, now %u; %llu bytes of a partial frame at the "
     "end were dropped.\n",
     kAsWritten, "已修复 %s：文件头原记录 %u 帧，现为 %u 帧；末尾不完整帧的 %llu 字节已丢弃。\n"},
    {"Repaired %s: the header counted %u frames, now %u.\n", kAsWritten,
     "已修复 %s：文件头原记录 %u 帧，现为 %u 帧。\n"},
    {"%s is not a valid recording: %s", kAsWritten, "%s 不是有效的录制文件：%s"},
    {"--target needs an IPv4 address like 127.0.0.1, not \"%s\"", kAsWritten,
     "--target 需要一个 IPv4 地址，例如 127.0.0.1，而不是“%s”"},
    {"%u frames written to %s", kAsWritten, "%u 帧已写入 %s"},
    {"the sACN multicast groups", kAsWritten, "sACN 组播组"},
    {"the sACN multicast groups on this host", kAsWritten, "本机上的 sACN 组播组"},
    {"test traffic", kAsWritten, "测试流量"},
    {"%u frames sent of %u", kAsWritten, "已发送 %u 帧，共 %u 帧"},
    {"%u frames sent, until Ctrl-C", kAsWritten, "已发送 %u 帧，直到按 Ctrl-C"},
    {"%u frames sent to %s", kAsWritten, "已发送 %u 帧到 %s"},
    {"Exit codes:\n"
     "  0    success (also a saved recording whose notes could not be written: a warning)\n"
     "  1    usage error\n"
     "  2    the recorder refused (a message box in the window), the output exists (see\n"
     "       --overwrite) or its folder does not (see --mkdir), or --target is refused\n"
     "  3    the interface or capture file could not be opened\n"
     "  4    inspect: not a valid recording; --repair: not one a repair can make valid (the\n"
     "       file is left as it was)\n"
     "  5    no Art-Net data: the survey timed out or found no universe, or no frame was "
     "recorded\n"
     "  6    a file or socket could not be read or written, also when a recording was cut "
     "short\n"
     "       by a failed write or a broken capture file (what was recorded is saved), or "
     "could\n"
     "       not be synced, counted or moved (the message says where it is)\n"
     "  7    record --strict: a recorded frame is incomplete or frames went missing upstream\n"
     "       (the recording is saved)\n"
     "  130  interrupted (Ctrl-C) before anything could be saved",
     kAsWritten,
     "退出码：\n"
     "  0    成功（也包括已保存但无法写入录制说明的录制：会给出警告）\n"
     "  1    用法错误\n"
     "  2    录制器拒绝（窗口中会弹出消息框）、输出文件已存在（参见 --overwrite）\n"
     "       或其文件夹不存在（参见 --mkdir），或 --target 被拒绝\n"
     "  3    无法打开网卡或抓包文件\n"
     "  4    inspect：不是有效的录制文件；--repair：修复无法使其成为有效的录制文件\n"
     "       （文件保持原样）\n"
     "  5    没有 Art-Net 数据：解析超时或没有找到 Universe，或没有录制到任何帧\n"
     "  6    无法读写文件或套接字，包括录制因写入失败或抓包文件损坏而中断的情况\n"
     "       （已录制的内容会保存），以及录制无法同步、计数或移动的情况（消息会说明它在哪里）\n"
     "  7    record --strict：录制的某帧不完整，或上游缺失了帧（录制内容会保存）\n"
     "  130  在保存任何内容之前被中断（Ctrl-C）"},
    {" Universe  Protocol  Sent   Source           Name              Priority  Packets/s  "
     "Frames/s  Last seen  Level  CID\n",
     kAsWritten,
     " Universe  协议      发送号 发送方           名称              优先级       包/秒  "
     "   帧/秒   上次收到   电平  CID\n"},
    {"... and %zu more\n", kAsWritten, "……另有 %zu 行\n"},
    {"Test pattern (frame f from 1, universe u, channel c from 0):\n"
     "  Art-Net sequence of frame f: 1 + (f - 1) mod 255 in every universe (0 with "
     "--no-sequence)\n"
     "  sACN sequence of frame f:    (f - 1) mod 256, counted per universe\n"
     "  channel c of universe u:     (5 f + 17 u + c) mod 256\n"
     "With --dark-frames N, frames 1 to N carry only zeros (a show before its first light).\n"
     "\n"
     "Art-Net (default): ArtDmx to UDP port 6454; --sync adds an ArtSync after each frame.\n"
     "sACN (--protocol sacn, ANSI E1.31): data packets to UDP port 5568 from source\n"
     "\"quorvex-cli\", priority 100. Universe u goes out as sACN universe u + --sacn-offset\n"
     "(default 1: sACN counts from 1, and the recorder takes sACN universe N as universe N - "
     "1),\n"
     "which must lie in 1..63999. --sync adds a synchronization packet after each frame, its\n"
     "own sequence counting like a universe's, on universe --sync-address (default: the "
     "first\n"
     "sACN universe), which the data packets then name. --multicast sends sACN universe\n"
     "N = 256 hi + lo to the group 239.255.hi.lo, synchronization to its address's group: "
     "only\n"
     "on this host (out of the loopback device, TTL 0, looped back to local receivers) "
     "unless\n"
     "--allow-network, then out of the interface the routing table picks, TTL 1.\n"
     "\n"
     "--target sends UDP paced at the frame rate; only 127.0.0.0/8 unless --allow-network.\n"
     "--pcap writes the same traffic as Ethernet/IPv4/UDP frames from 2.0.0.1, stamped 1/fps\n"
     "apart, to --target when given, else Art-Net to 2.255.255.255 and sACN to the multicast\n"
     "groups (with their multicast MAC addresses).",
     kAsWritten,
     "测试图案（帧 f 从 1 开始，Universe u 和通道 c 从 0 开始）：\n"
     "  帧 f 的 Art-Net 序列号：每个 Universe 都是 1 + (f - 1) mod 255（--no-sequence 时为 0）"
     "\n"
     "  帧 f 的 sACN 序列号：    (f - 1) mod 256，每个 Universe 分别计数\n"
     "  Universe u 的通道 c：    (5 f + 17 u + c) mod 256\n"
     "使用 --dark-frames N 时，第 1 到 N 帧全为零（演出在首次亮灯之前）。\n"
     "\n"
     "Art-Net（默认）：ArtDmx 发往 UDP 端口 6454；--sync 在每帧之后加一个 ArtSync。\n"
     "sACN（--protocol sacn，ANSI E1.31）：数据包发往 UDP 端口 5568，来源名为\n"
     "\"quorvex-cli\"，优先级 100。Universe u 作为 sACN Universe u + --sacn-offset 发出\n"
     "（默认 1：sACN 从 1 开始计数，录制器把 sACN Universe N 当作 Universe N - 1），\n"
     "其值必须在 1..63999 之内。--sync 在每帧之后加一个同步包，它有自己的序列号，\n"
     "计数方式与 Universe 相同，发往 Universe --sync-address（默认：第一个 sACN Universe），\n"
     "数据包中会写明该地址。--multicast 把 sACN Universe N = 256 hi + lo 发往组播组\n"
     "239.255.hi.lo，同步包发往其地址对应的组：默认只在本机（从回环设备发出，TTL 0，\n"
     "回送给本机接收方），加上 --allow-network 时从路由表选择的网卡发出，TTL 1。\n"
     "\n"
     "--target 按帧率发送 UDP；除非加上 --allow-network，否则只能发往 127.0.0.0/8。\n"
     "--pcap 把同样的流量写成来自 2.0.0.1 的 Ethernet/IPv4/UDP 帧，时间戳间隔 1/fps，\n"
     "给出 --target 时发往它，否则 Art-Net 发往 2.255.255.255，sACN 发往组播组\n"
     "（使用组播 MAC 地址）。"},
    {"Surveys the source (as Parse does), then records until --frames frames are written, "
     "the\n"
     "capture file ends, or Ctrl-C (or SIGTERM, SIGHUP, SIGQUIT), which stops at the next "
     "frame\n"
     "boundary and saves; a second Ctrl-C gives up and keeps the frames so far as temp.RGB. "
     "The\n"
     "working file temp.RGB is written in the folder of --output, counted in its header "
     "every\n"
     "second, then synced and moved to the final name: the extension becomes .RGB (show.rgb "
     "->\n"
     "show.RGB). An existing output is refused without --overwrite. A temp.RGB that an "
     "earlier\n"
     "run left with frames is first moved aside as Unsaved-YYYYMMDD-HHMMSS.RGB; one that "
     "another\n"
     "recording is writing is refused. Log lines go to stdout, problems to stderr; nothing "
     "is\n"
     "ever asked.\n"
     "\n"
     "--duration ends the recording after that much recorded show time, by the packets' "
     "capture\n"
     "times, and --until-stopped only at Ctrl-C; without --frames the header's limit of "
     "65535\n"
     "frames is the only other end, with it whichever comes first.\n"
     "--start-when first-light starts at the first frame with a channel above 0; U/C>=V "
     "(e.g.\n"
     "5/1>=128: universe 5, channel 1 of 1..512, value 0..255; quote it in a shell) at the "
     "first\n"
     "frame in which that channel reaches V. The channel must be one the survey found.\n"
     "--stop-when-released ends the recording at the first frame in which it is below V "
     "again;\n"
     "that frame is not recorded.",
     kAsWritten,
     "先解析数据源（与“解析”相同），然后录制，直到写入 --frames 帧、抓包文件结束，\n"
     "或按 Ctrl-C（或收到 SIGTERM、SIGHUP、SIGQUIT）：在下一个帧边界停止并保存；\n"
     "再按一次 Ctrl-C 则放弃，已录制的帧保留为 temp.RGB。工作文件 temp.RGB 写在\n"
     "--output 所在的文件夹中，文件头中的帧数每秒更新一次，最后同步并移动为最终文件名：\n"
     "扩展名变为 .RGB（show.rgb -> show.RGB）。没有 --overwrite 时拒绝已存在的输出文件。\n"
     "之前运行留下的含有帧的 temp.RGB 会先移到一旁，命名为 Unsaved-YYYYMMDD-HHMMSS.RGB；\n"
     "另一个录制正在写入的则被拒绝。日志行输出到 stdout，问题输出到 stderr；从不提问。\n"
     "\n"
     "--duration 在录制的演出时间达到该时长后结束录制（按数据包的抓取时间计），\n"
     "--until-stopped 只在按 Ctrl-C 时结束；没有 --frames 时，文件头的 65535 帧上限是\n"
     "唯一的另一个结束条件，有 --frames 时以先到者为准。\n"
     "--start-when first-light 从第一个有通道大于 0 的帧开始；U/C>=V（例如 5/1>=128：\n"
     "Universe 5，通道 1（1..512），数值 0..255；在 shell 中要加引号）从该通道第一次达到 V\n"
     "的帧开始。该通道必须是解析时找到的。\n"
     "--stop-when-released 在该通道第一次再次低于 V 的帧结束录制；这一帧不被录制。"},
    {"Opens the interface (no survey) and shows, per universe and sender, the protocol (for\n"
     "sACN the universe as sent beside the number it is recorded as), the sender's address,\n"
     "name (sACN source name, or the Art-Net node's short name once it answered a poll), sACN\n"
     "priority and CID, packets and frames per second, how long ago the last packet came and\n"
     "the highest channel value; a sender silent for more than 2 s reads \"stale\", and '*'\n"
     "marks the sender a recording takes the universe from. On a terminal the table is redrawn\n"
     "in place four times a second, and a sender silent for 10 s leaves it. --universe N adds the "
     "512 channels of universe N (as\n"
     "recorded) as a grid, changed values in reverse video. When it ends (--seconds, or Ctrl-C,\n"
     "which exits 0) it prints the table (and grid) once more with rates over the whole run;\n"
     "that is all it prints when stdout is no terminal. --json prints instead one JSON\n"
     "document: {\"interface\", \"seconds\", \"pairs\", \"complete\", \"cut\" (only when\n"
     "not complete), \"universes\": [{\"universe\", \"protocol\", \"sentUniverse\",\n"
     "\"source\", \"name\", \"cid\", \"priority\", \"recorded\", \"packets\",\n"
     "\"packetsPerSecond\", \"framesPerSecond\", \"lastSeenSecondsAgo\", \"stale\",\n"
     "\"length\", \"level\"}], \"channels\" (with --universe): {\"universe\", \"length\",\n"
     "\"channels\": [512 values]}}. Exits 5 when neither Art-Net nor sACN came at all.",
     kAsWritten,
     "打开网卡（不解析），按 Universe 和发送方显示协议（sACN 同时显示发送时的 Universe\n"
     "和录制时的编号）、发送方地址、名称（sACN 源名称，或 Art-Net 节点回复轮询后的短名称）、\n"
     "sACN 优先级和 CID、每秒的包数和帧数、上一个包到达的时间以及最高的通道值；超过 2 秒\n"
     "没有数据的发送方显示“已停”，“*”标出录制时采用的发送方。在终端上表格每秒原地刷新\n"
     "四次，10 秒没有数据的发送方从中移除。--universe N 另外以网格显示 Universe N（录制编号）的 "
     "512 个通道，变化的数值\n"
     "反色显示。结束时（--seconds 到时，或按 Ctrl-C，退出码为 0）再按整个运行期间的速率\n"
     "打印一次表格（和网格）；stdout 不是终端时只打印这一次。--json 改为打印一个 JSON 文档：\n"
     "{\"interface\", \"seconds\", \"pairs\", \"complete\", \"cut\"（仅在不完整时）,\n"
     "\"universes\": [{\"universe\", \"protocol\", \"sentUniverse\", \"source\", \"name\",\n"
     "\"cid\", \"priority\", \"recorded\", \"packets\", \"packetsPerSecond\",\n"
     "\"framesPerSecond\", \"lastSeenSecondsAgo\", \"stale\", \"length\", \"level\"}],\n"
     "\"channels\"（有 --universe 时）: {\"universe\", \"length\", \"channels\": [512 个值]}}。\n"
     "完全没有收到 Art-Net 或 sACN 时退出码为 5。"},
    {"Show this universe's 512 channels too (the number as recorded)", kAsWritten,
     "同时显示该 Universe 的 512 个通道（录制编号）"},
    {"One row per frame, time running down; each port's bytes as pixels left to right (3 "
     "bytes\n"
     "RGB, 4 with RGBW, the white added), a grey line between ports, under a strip with the\n"
     "file name, frames, ports and pixels per port. A long recording is sampled to --max-rows.",
     kAsWritten,
     "每帧一行，时间向下推进；每个端口的字节从左到右画成像素（RGB 每像素 3 字节，\n"
     "RGBW 为 4 字节，白色叠加上去），端口之间有一条灰线，上方一条信息栏显示文件名、\n"
     "帧数、端口数和每端口像素数。较长的录制按 --max-rows 抽样。"},
    {"Each frame goes out as ArtDmx packets sharing one sequence number, then an ArtSync, at\n"
     "the rate the notes beside the recording (FILE.RGB.json) measured, or --fps (40 without\n"
     "notes). The universes come from the notes too; without them port p's bytes go out as\n"
     "consecutive 512-byte universes from p x --universes-per-port. Targets outside\n"
     "127.0.0.0/8 need --allow-network. Ctrl-C stops.",
     kAsWritten,
     "每帧作为共用一个序列号的 ArtDmx 包发出，随后是一个 ArtSync，速率为录制文件旁边的\n"
     "说明（FILE.RGB.json）所测得的帧率，或 --fps（没有说明时为 40）。Universe 也来自说明；\n"
     "没有说明时，端口 p 的字节作为从 p x --universes-per-port 开始的连续 512 字节\n"
     "Universe 发出。127.0.0.0/8 以外的目标需要 --allow-network。按 Ctrl-C 停止。"},
    {"Where the Art-Net comes from (one)", kAsWritten, "Art-Net 的来源（二选一）"},
    {"Capture device name, e.g. eth0 (see devices)", kAsWritten,
     "抓包设备名，例如 eth0（参见 devices）"},
    {"Capture file (pcap or pcapng) to read instead", kAsWritten,
     "改为读取的抓包文件（pcap 或 pcapng）"},
    {"Universes per controller port", kAsWritten, "控制器每个端口的 Universe 数"},
    {"Seconds the survey may wait for a whole frame (default 10 for an interface, none for a "
     "file; 0: none)",
     kAsWritten, "解析等待完整一帧的秒数（网卡默认 10，文件默认不限；0：不限）"},
    {"Show the capture library's address lines on stderr", kAsWritten,
     "在 stderr 上显示抓包库给出的地址行"},
    {"Usage", kAsWritten, "用法"},
    {"OPTIONS", kAsWritten, "选项"},
    {"SUBCOMMAND", kAsWritten, "子命令"},
    {"REQUIRED", kAsWritten, "必需"},
    {"Excludes", kAsWritten, "互斥"},
    {"Needs", kAsWritten, "需要"},
    {"Positionals", kAsWritten, "位置参数"},
    {"Options", kAsWritten, "选项"},
    {"Print this help message and exit", kAsWritten, "打印本帮助信息后退出"},
    {"quorvex-cli: records Art-Net DMX traffic into .RGB files for LED pixel controllers, "
     "without a window.",
     kAsWritten,
     "quorvex-cli：把 Art-Net DMX 流量录制为 LED 像素控制器使用的 .RGB 文件，无需窗口。"},
    {"Print the program's name and version and exit", kAsWritten, "打印程序名和版本后退出"},
    {"List the Ethernet-like capture devices: index, name, IPv4 address, description, link "
     "state; * marks the adapter the window would choose by itself",
     kAsWritten,
     "列出类以太网的抓包设备：序号、名称、IPv4 地址、描述、连接状态；* "
     "标出窗口程序会自动选择的网卡"},
    {"Also list devices that carry no Ethernet frames (any, D-Bus, netfilter, Bluetooth), from "
     "which nothing can be recorded",
     kAsWritten, "同时列出不承载以太网帧的设备（any、D-Bus、netfilter、蓝牙），它们无法用于录制"},
    {"Print one JSON document instead of the list", kAsWritten, "打印一个 JSON 文档，而不是列表"},
    {"Survey which universes one frame carries and print the report", kAsWritten,
     "解析一帧中有哪些 Universe，并打印报告"},
    {"Print the report as one JSON document; the log goes to stderr", kAsWritten,
     "把报告打印为一个 JSON 文档；日志输出到 stderr"},
    {"Show the Art-Net and sACN coming in on an interface, per universe and sender", kAsWritten,
     "按 Universe 和发送方显示网卡上收到的 Art-Net 和 sACN"},
    {"Capture device name, e.g. eth0", kAsWritten, "抓包设备名，例如 eth0"},
    {"Seconds to watch (default: until Ctrl-C)", kAsWritten, "观察的秒数（默认：直到按 Ctrl-C）"},
    {"Print one JSON document at the end, nothing else", kAsWritten,
     "结束时只打印一个 JSON 文档，不打印其他内容"},
    {"Survey, then record frames into a .RGB file", kAsWritten, "先解析，再把帧录制到 .RGB 文件"},
    {"The .RGB file to save", kAsWritten, "要保存的 .RGB 文件"},
    {"Create the folder of --output (and its parents) when it does not exist", kAsWritten,
     "--output 所在的文件夹（及其上级）不存在时创建它"},
    {"Frames to record (the header counts 16 bits)", kAsWritten,
     "要录制的帧数（文件头用 16 位计数）"},
    {"Recorded time that ends the recording: 90, 90s, 2m30s, 1h2m3s or 02:30", kAsWritten,
     "结束录制的录制时长：90、90s、2m30s、1h2m3s 或 02:30"},
    {"Record until Ctrl-C, or the header's limit of 65535 frames", kAsWritten,
     "一直录制到按 Ctrl-C，或达到文件头的 65535 帧上限"},
    {"Wait for first-light, or for a channel: U/C>=V, e.g. 5/1>=128", kAsWritten,
     "等待首次亮灯（first-light），或等待某个通道：U/C>=V，例如 5/1>=128"},
    {"With --start-when U/C>=V: end when the channel falls below V again", kAsWritten,
     "配合 --start-when U/C>=V：该通道再次低于 V 时结束"},
    {"IC type written into the header", kAsWritten, "写入文件头的 IC 类型"},
    {"Mark the ports as RGBW", kAsWritten, "把各端口标记为 RGBW"},
    {"Replace the output file when it exists (a run that records no frame never replaces it)",
     kAsWritten, "输出文件已存在时替换它（没有录制到任何帧的运行从不替换）"},
    {"Memory for frames waiting for the disk, in MiB (at least two frames): a stalled disk "
     "holds up the recording only once it is full",
     kAsWritten, "等待写盘的帧所用的内存，单位 MiB（至少两帧）：只有它满了，磁盘卡顿才会拖住录制"},
    {"Exit 7 when the recording is not whole: a recorded frame is incomplete, or frames or "
     "packets were lost on this machine",
     kAsWritten, "录制不完整时退出码为 7：某个录制的帧不完整，或有帧或数据包在本机丢失"},
    {"Check a .RGB file and print its header", kAsWritten, "检查 .RGB 文件并打印其文件头"},
    {"The recording", kAsWritten, "录制文件"},
    {"Print one JSON object", kAsWritten, "打印一个 JSON 对象"},
    {"First set the header's frame count to the whole frames the file holds and drop a "
     "partial frame at its end (a recording left by a crash)",
     kAsWritten,
     "先把文件头中的帧数设为文件中完整帧的数目，并丢弃末尾不完整的帧（崩溃留下的录制）"},
    {"Draw a recording as a PNG: a row per frame, time running down", kAsWritten,
     "把录制画成 PNG：每帧一行，时间向下推进"},
    {"The PNG to write (default FILE.png)", kAsWritten, "要写入的 PNG（默认 FILE.png）"},
    {"Draw every Nth frame (default: as needed)", kAsWritten, "每隔 N 帧画一帧（默认：按需要）"},
    {"Rows at most when --every is not given", kAsWritten, "未给出 --every 时的最多行数"},
    {"Replace the PNG when it exists", kAsWritten, "PNG 已存在时替换它"},
    {"Send a recording as Art-Net, an ArtSync after each frame", kAsWritten,
     "把录制作为 Art-Net 发送，每帧之后一个 ArtSync"},
    {"IPv4 address to send to (port 6454)", kAsWritten, "发送目标 IPv4 地址（端口 6454）"},
    {"Frames per second", kAsWritten, "每秒帧数"},
    {"Frames per second (default: the rate in the notes, else 40)", kAsWritten,
     "每秒帧数（默认：说明中的帧率，没有时为 40）"},
    {"Start again after the last frame, until Ctrl-C", kAsWritten,
     "最后一帧之后从头再来，直到按 Ctrl-C"},
    {"Allow a --target outside 127.0.0.0/8", kAsWritten, "允许 127.0.0.0/8 以外的 --target"},
    {"Without notes: port p goes out from universe p x this", kAsWritten,
     "没有说明时：端口 p 从 Universe p x 此值开始发出"},
    {"Send or write the test pattern as Art-Net or sACN", kAsWritten,
     "把测试图案作为 Art-Net 或 sACN 发送或写入文件"},
    {"Where the pattern goes (--pcap may take one more)", kAsWritten,
     "图案的去向（--pcap 可以再加一个）"},
    {"IPv4 address to send UDP to (with --pcap: to write in the frames)", kAsWritten,
     "UDP 发送目标 IPv4 地址（配合 --pcap：写入帧中的地址）"},
    {"sACN: each universe to its group 239.255.hi.lo", kAsWritten,
     "sACN：每个 Universe 发往其组播组 239.255.hi.lo"},
    {"Capture file to write instead of sending", kAsWritten, "改为写入的抓包文件，而不发送"},
    {"artnet or sacn", kAsWritten, "artnet 或 sacn"},
    {"Allow a --target outside 127.0.0.0/8, multicast beyond this host", kAsWritten,
     "允许 127.0.0.0/8 以外的 --target，以及发往本机以外的组播"},
    {"Universes, e.g. 0-5,8,10", kAsWritten, "Universe 列表，例如 0-5,8,10"},
    {"Channels per universe", kAsWritten, "每个 Universe 的通道数"},
    {"Frames to send (default 200); 0: until Ctrl-C", kAsWritten,
     "要发送的帧数（默认 200）；0：直到按 Ctrl-C"},
    {"Seconds to send instead of --frames", kAsWritten, "改为按秒数发送，代替 --frames"},
    {"An ArtSync or sACN synchronization packet after each frame", kAsWritten,
     "每帧之后一个 ArtSync 或 sACN 同步包"},
    {"The first N frames carry only zeros (to try --start-when first-light)", kAsWritten,
     "前 N 帧全为零（用于试验 --start-when first-light）"},
    {"Art-Net: Sequence 0 (off) in every ArtDmx", kAsWritten,
     "Art-Net：每个 ArtDmx 中的 Sequence 都为 0（关闭）"},
    {"sACN universe = pattern universe + this", kAsWritten, "sACN Universe = 图案 Universe + 此值"},
    {"sACN universe of the synchronization packets (default: the first)", kAsWritten,
     "同步包的 sACN Universe（默认：第一个）"},
    {"Subcommands", kAsWritten, "子命令"},
    {"frame %u of %u, round %u, %llu frames sent", kAsWritten,
     "第 %u 帧，共 %u 帧，第 %u 轮，已发送 %llu 帧"},
    {"--no-sequence is for Art-Net: sACN receivers always count sequences", kAsWritten,
     "--no-sequence 只用于 Art-Net：sACN 接收方总是按序列号计数"},
    {"%s needs --protocol sacn", kAsWritten, "%s 需要 --protocol sacn"},
    {"--frames 0 sends until Ctrl-C, which a capture file cannot wait for", kAsWritten,
     "--frames 0 会一直发送到按 Ctrl-C，而抓包文件不能这样等待"},
    {"universe %d + --sacn-offset %d is sACN universe %d, outside 1..63999", kAsWritten,
     "Universe %d + --sacn-offset %d 得到 sACN Universe %d，超出 1..63999"},
    {"--sync-address %d is outside 1..63999", kAsWritten, "--sync-address %d 超出 1..63999"},
    {"\"%s\" is not a universe (0..%d) or a range like 0-5", kAsWritten,
     "“%s”不是 Universe（0..%d），也不是 0-5 这样的范围"},
    {"cannot prepare a capture file", kAsWritten, "无法准备抓包文件"},
    {"Art-Net needs a target address", kAsWritten, "Art-Net 需要目标地址"},
    {"cannot open a UDP socket: %s", kAsWritten, "无法打开 UDP 套接字：%s"},
    {"cannot set up multicast on this host: %s", kAsWritten, "无法在本机设置组播：%s"},
    {"sending failed: %s", kAsWritten, "发送失败：%s"},
    {"refusing to send to %s: %s must not reach a real show network by accident. Targets "
     "outside 127.0.0.0/8 need --allow-network.",
     kAsWritten,
     "拒绝发送到 %s：%s不得意外进入真实的演出网络。127.0.0.0/8 以外的目标需要 "
     "--allow-network。"},
    {"the header declares no port", kAsWritten, "文件头没有声明任何端口"},
    {"port %zu is numbered %u", kAsWritten, "端口 %zu 的编号是 %u"},
    {"port %zu: bad constant bytes in its record", kAsWritten, "端口 %zu：其记录中的固定字节有误"},
    {"port %zu: unknown IC type code %u", kAsWritten, "端口 %zu：未知的 IC 类型代码 %u"},
    {"the ports have different IC types", kAsWritten, "各端口的 IC 类型不同"},
    {"the ports differ in RGBW", kAsWritten, "各端口的 RGBW 设置不同"},
    {"port lengths sum to %llu bytes, the frame length is %u", kAsWritten,
     "端口长度之和为 %llu 字节，而帧长度为 %u"},
    {"the frame length is 0", kAsWritten, "帧长度为 0"},
    {"%llu bytes follow the header", kAsWritten, "文件头后面有 %llu 字节"},
    {"the file ends %llu bytes into a frame (truncated?)", kAsWritten,
     "文件在一帧的第 %llu 字节处结束（被截断？）"},
    {"the header counts %u frames, the file holds %llu", kAsWritten,
     "文件头记录 %u 帧，文件中有 %llu 帧"},
    {"the gamma table is all zero: the LEDs would stay dark", kAsWritten,
     "Gamma 表全为零：LED 将一直不亮"},
    {"the gamma table decreases at entry %zu (%u after %u)", kAsWritten,
     "Gamma 表在第 %zu 项处下降（%u 在 %u 之后）"},
    {"the file has %llu bytes, too few for a recording header", kAsWritten,
     "文件只有 %llu 字节，不足一个录制文件头"},
    {"the header declares %zu ports and needs %zu bytes, the file has %llu", kAsWritten,
     "文件头声明了 %zu 个端口，需要 %zu 字节，而文件只有 %llu 字节"},
    {"bad constant bytes: a recording starts \"RGB01001\", FF FF FF FF and has 01 at byte 22",
     kAsWritten, "固定字节有误：录制文件应以“RGB01001”、FF FF FF FF 开头，并在第 22 字节处为 01"},
    {"the stored header length %u does not match the %zu bytes of a header with %u ports",
     kAsWritten, "存储的文件头长度 %u 与 %zu 字节不符，后者是 %u 个端口的文件头长度"},
    {"File:           %s\n", kAsWritten, "文件：          %s\n"},
    {"Size:           %llu bytes\n", kAsWritten, "大小：          %llu 字节\n"},
    {"Tags:           RGB0 1001 FF FF FF FF 01 (valid)\n", kAsWritten,
     "标记：          RGB0 1001 FF FF FF FF 01（有效）\n"},
    {"Tags:           bad\n", kAsWritten, "标记：          有误\n"},
    {"Header length:  %zu bytes (stored as last byte %u)\n", kAsWritten,
     "文件头长度：    %zu 字节（存储的最后字节为 %u）\n"},
    {"Frames:         %u\n", kAsWritten, "帧数：          %u\n"},
    {"Frame length:   %u bytes\n", kAsWritten, "帧长度：        %u 字节\n"},
    {"Ports:          %u\n", kAsWritten, "端口数：        %u\n"},
    {"  port %-3u      %u bytes\n", kAsWritten, "  端口 %-3u      %u 字节\n"},
    {"IC type:        %s (code %u)\n", kAsWritten, "IC 类型：       %s（代码 %u）\n"},
    {"RGBW:           yes\n", kAsWritten, "RGBW：          是\n"},
    {"RGBW:           no\n", kAsWritten, "RGBW：          否\n"},
    {"Gamma:          identity 0..255\n", kAsWritten, "Gamma：         恒等 0..255\n"},
    {"Gamma:          custom\n", kAsWritten, "Gamma：         自定义\n"},
    {"Size check:     %zu + %u x %u = %llu bytes: matches\n", kAsWritten,
     "大小核对：      %zu + %u x %u = %llu 字节：相符\n"},
    {"Size check:     %zu + %u x %u = %llu bytes: does not match the file\n", kAsWritten,
     "大小核对：      %zu + %u x %u = %llu 字节：与文件不符\n"},
    {"Problem:        %s\n", kAsWritten, "问题：          %s\n"},
    {"Valid recording.\n", kAsWritten, "有效的录制文件。\n"},
    {"Valid recording, but not whole: its notes count %u incomplete frames and %u frames lost "
     "while it was recorded.\n",
     kAsWritten, "有效的录制文件，但不完整：其说明记录了不完整帧 %u 个、录制时丢失 %u 帧。\n"},
    {"No such file: %s", kAsWritten, "没有这个文件：%s"},
    {"Not a valid recording.\n", kAsWritten, "不是有效的录制文件。\n"},
    {"universe %d falls on port %zu, the recording has %zu ports", kAsWritten,
     "Universe %d 落在端口 %zu 上，而录制文件只有 %zu 个端口"},
    {"port %zu has %u bytes in the notes and %u in the recording", kAsWritten,
     "端口 %zu 在说明中有 %u 字节，在录制文件中有 %u 字节"},
    {"port %zu holds %u bytes, more than %d universes of 512 bytes carry; give more universes "
     "per port",
     kAsWritten,
     "端口 %zu 有 %u 字节，超过 %d 个 512 字节的 Universe 所能承载的；请增大每端口的 Universe "
     "数"},
    {"port %zu would need universe %d, above 32767", kAsWritten,
     "端口 %zu 需要 Universe %d，超过 32767"},
    {"the frame rate must be above 0 and at most %.0f frames a second", kAsWritten,
     "帧率必须大于 0 且不超过每秒 %.0f 帧"},
    {"universes per port must be a whole number from 1 to 8", kAsWritten,
     "每端口 Universe 数必须是 1 到 8 的整数"},
    {"a recording", kAsWritten, "录制内容"},
    {"%s holds no frame", kAsWritten, "%s 中没有任何帧"},
    {"ignoring the notes: %s", kAsWritten, "忽略说明：%s"},
    {"ignoring %s: %s", kAsWritten, "忽略 %s：%s"},
    {"cannot play %s: %s", kAsWritten, "无法播放 %s：%s"},
    {"the ports, %d per port", kAsWritten, "各端口，每端口 %d 个"},
    {"playing %u frames of %s to %s:6454 at %g fps, universes from %s", kAsWritten,
     "正在播放 %u 帧（%s）到 %s:6454，%g 帧/秒，Universe 来自 %s"},
    {"%llu frames sent to %s:6454", kAsWritten, "已发送 %llu 帧到 %s:6454"},
    {"cannot encode the picture: %s", kAsWritten, "无法编码图片：%s"},
    {"the picture would replace the recording %s; choose another output", kAsWritten,
     "图片会替换录制文件 %s；请选择另一个输出"},
    {"cannot draw %s: %s", kAsWritten, "无法绘制 %s：%s"},
    {"%s: %d x %d pixels, every %u frames a row", kAsWritten, "%s：%d x %d 像素，每 %u 帧一行"},
    {"cannot read %s: %s", kAsWritten, "无法读取 %s：%s"},
    {"the file ends early", kAsWritten, "文件提前结束"},
    {"it is not a regular file", kAsWritten, "它不是普通文件"},
    {"it holds %llu whole frames, more than a header counts (%u)", kAsWritten,
     "它含有 %llu 个完整帧，超过文件头能计数的上限（%u）"},
    {"no frame %u in %s", kAsWritten, "第 %u 帧不在 %s 中"},
    {"cannot read frame %u of %s: %s", kAsWritten, "无法读取第 %u 帧（%s）：%s"},
    {"waiting for %s", kAsWritten, "等待%s"},
    {", ", kAsWritten, "，"},
    {"%u frames written of %u", kAsWritten, "已写入 %u 帧，共 %u 帧"},
    {"%u frames written", kAsWritten, "已写入 %u 帧"},
    {"%.1f frames per second", kAsWritten, "每秒 %.1f 帧"},
    {"%s of %s recorded", kAsWritten, "已录制 %s，共 %s"},
    {"%s recorded", kAsWritten, "已录制 %s"},
    {"%s left", kAsWritten, "剩余 %s"},
    // The remote control (quorvex-cli serve)
    {"--listen needs ADDRESS:PORT, such as 0.0.0.0:8080, not \"%s\"", kAsWritten,
     "--listen 需要 地址:端口，例如 0.0.0.0:8080，而不是 \"%s\""},
    {"--osc-allow needs a network such as 192.168.1.0/24, not \"%s\"", kAsWritten,
     "--osc-allow 需要一个网段，例如 192.168.1.0/24，而不是 \"%s\""},
    {"cannot write recordings into the folder %s", kAsWritten, "无法把录制文件写入文件夹 %s"},
    {"Serving the recorder at %s (recordings in %s)", kAsWritten,
     "录制器服务地址：%s（录制文件在 %s）"},
    {"Listening for OSC on UDP port %d", kAsWritten, "在 UDP 端口 %d 上接收 OSC"},
    {"Serves a page and a JSON API (under /api/) on --listen, 127.0.0.1:8080 by default. On any\n"
     "other address every request needs the token printed at start, kept in\n"
     "~/.config/quorvex/serve-token (mode 0600; put your own there to choose it). Requests\n"
     "from pages of other sites are refused. A stopped recording waits to be saved by name;\n"
     "after 10 s it is saved under the next free scene name. With --osc PORT it takes, from\n"
     "--osc-allow hosts: /quorvex/parse, /quorvex/record [int frames],\n"
     "/quorvex/record/duration float seconds, /quorvex/pause, /quorvex/stop,\n"
     "/quorvex/save string name; each is answered with /quorvex/status string phase, int\n"
     "frames. Ctrl-C ends it; a recording in progress is kept in temp.RGB.",
     kAsWritten,
     "在 --listen（默认 127.0.0.1:8080）上提供网页和 JSON API（在 /api/ 下）。在其他地址上，\n"
     "每个请求都需要启动时打印的令牌，它保存在 ~/.config/quorvex/serve-token（权限 0600；\n"
     "可放入自己的令牌）。来自其他网站页面的请求会被拒绝。停止的录制等待按名称保存；\n"
     "10 秒后以下一个空闲的场景名保存。使用 --osc 端口 时，接受来自 --osc-allow 主机的：\n"
     "/quorvex/parse、/quorvex/record [整数 帧数]、/quorvex/record/duration 浮点 秒数、\n"
     "/quorvex/pause、/quorvex/stop、/quorvex/save 字符串 名称；每条都以\n"
     "/quorvex/status 字符串 阶段、整数 帧数 回复。Ctrl-C 结束；进行中的录制保留在 temp.RGB。"},
    {"Run the recorder headless behind a web page, a JSON API and OSC", kAsWritten,
     "无界面运行录制器，通过网页、JSON API 和 OSC 控制"},
    {"Where recordings are saved (default: the usual recordings folder)", kAsWritten,
     "录制文件保存位置（默认：通常的录制文件夹）"},
    {"Capture device to open at start, e.g. eth0", kAsWritten, "启动时打开的抓包设备，例如 eth0"},
    {"Read a capture file instead of a device", kAsWritten, "读取抓包文件而不是设备"},
    {"ADDRESS:PORT to serve on", kAsWritten, "提供服务的 地址:端口"},
    {"Ask for the token also on 127.0.0.1 (a machine others use)", kAsWritten,
     "在 127.0.0.1 上也要求令牌（他人也使用的机器）"},
    {"Listen for OSC on this UDP port", kAsWritten, "在此 UDP 端口上接收 OSC"},
    {"Hosts allowed to send OSC, e.g. 192.168.1.0/24 (default: this machine); repeat for more",
     kAsWritten, "允许发送 OSC 的主机，例如 192.168.1.0/24（默认：本机）；可重复指定"},
    {"icType must be DMX512, SPI&TTL or TM1814", kAsWritten,
     "icType 必须是 DMX512、SPI&TTL 或 TM1814"},
    {"rgbw must be true or false", kAsWritten, "rgbw 必须是 true 或 false"},
    {"universes must be a text like 0-5,8", kAsWritten, "universes 必须是类似 0-5,8 的文本"},
    {"unknown setting \"%s\"", kAsWritten, "未知的设置 \"%s\""},
    {"frames must be a whole number from 1 to %u", kAsWritten, "frames 必须是 1 到 %u 的整数"},
    {"duration needs a time in one of the forms %s, above 0", kAsWritten,
     "duration 需要大于 0 的时间，格式为 %s 之一"},
    {"untilStopped must be true or false", kAsWritten, "untilStopped 必须是 true 或 false"},
    {"startWhen must be a text", kAsWritten, "startWhen 必须是文本"},
    {"unknown capture option \"%s\"", kAsWritten, "未知的录制选项 \"%s\""},
    {"untilStopped excludes frames and duration", kAsWritten,
     "untilStopped 不能与 frames 和 duration 同时使用"},
    {"no such page", kAsWritten, "没有这个页面"},
    {"method not allowed", kAsWritten, "不允许的请求方法"},
    {"request too large", kAsWritten, "请求过大"},
    {"not a recording's name", kAsWritten, "不是录制文件的名称"},
    {"the body must be a JSON object", kAsWritten, "请求体必须是 JSON 对象"},
    {"the body must be {\"name\": \"...\"}", kAsWritten, "请求体必须是 {\"name\": \"...\"}"},
    {"cannot listen for OSC on UDP port %d", kAsWritten, "无法在 UDP 端口 %d 上接收 OSC"},
    {"unknown OSC message %s", kAsWritten, "未知的 OSC 消息 %s"},
    {"cannot use the token file %s: %s", kAsWritten, "无法使用令牌文件 %s：%s"},
    {"the token file %s may be read by others; make it 0600", kAsWritten,
     "令牌文件 %s 可被他人读取；请把权限改为 0600"},
    {"the token file %s must hold one line of at least 16 visible characters", kAsWritten,
     "令牌文件 %s 必须是一行至少 16 个可见字符"},
    {"a valid token is needed", kAsWritten, "需要有效的令牌"},
    {"requests from other sites are refused", kAsWritten, "拒绝来自其他网站的请求"},
    {"too many live streams", kAsWritten, "实时数据流过多"},
    {"no such recording", kAsWritten, "没有这个录制文件"},
    {"cannot listen on %s", kAsWritten, "无法在 %s 上监听"},
    {"cannot listen on %s:%d", kAsWritten, "无法在 %s:%d 上监听"},
    {"the server is shutting down", kAsWritten, "服务正在关闭"},
    {"the recorder did not answer in time", kAsWritten, "录制器没有及时响应"},
    {"the adapter can be changed only while idle", kAsWritten, "只能在空闲时更换网卡"},
    {"settings can be changed only while idle", kAsWritten, "只能在空闲时更改设置"},
    {"%s already exists", kAsWritten, "%s 已存在"},
    {"no recording runs or waits to be saved", kAsWritten, "没有正在进行或等待保存的录制"},
};

}  // namespace

std::span<const CatalogueText> TextCatalogue() { return kTexts; }

}  // namespace quorvex
