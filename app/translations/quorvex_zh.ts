<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Preview</name>
    <message>
        <source>the picture is too large to show</source>
        <translation>图像太大，无法显示</translation>
    </message>
    <message>
        <source>Fit to window</source>
        <translation>适合窗口</translation>
    </message>
    <message>
        <source>x2</source>
        <translation>×2</translation>
    </message>
    <message>
        <source>x4</source>
        <translation>×4</translation>
    </message>
    <message>
        <source>x8</source>
        <translation>×8</translation>
    </message>
    <message>
        <source>Zoom:</source>
        <translation>缩放：</translation>
    </message>
    <message>
        <source>%1 frames, %2 ports, %3 pixels per port, %4, %5</source>
        <translation>%1 帧，%2 个端口，每端口 %3 个像素，%4，%5</translation>
    </message>
    <message>
        <source>, a row every %1 frames</source>
        <translation>，每 %1 帧一行</translation>
    </message>
    <message>
        <source>LEDs at frame:</source>
        <translation>此帧的 LED：</translation>
    </message>
</context>
<context>
    <name>quorvex::app::MainWindow</name>
    <message>
        <source>Cpature</source>
        <translation>采集</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>IP address：</source>
        <translation>IP 地址：</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>刷新</translation>
    </message>
    <message>
        <source>Parse</source>
        <translation>解析</translation>
    </message>
    <message>
        <source>Local network</source>
        <translation>本地网络</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Parameters</source>
        <translation>参数</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>IC Type:</source>
        <translation>IC 类型：</translation>
    </message>
    <message>
        <source>Universes/Port:</source>
        <translation>每端口域数：</translation>
    </message>
    <message>
        <source>Current frame num:</source>
        <translation>当前帧数：</translation>
    </message>
    <message>
        <source>Cpature Frames:</source>
        <translation>采集帧数：</translation>
    </message>
    <message>
        <source>RGBW</source>
        <translation>RGBW</translation>
    </message>
    <message>
        <source>Duration (mm:ss):</source>
        <translation>时长（分:秒）：</translation>
    </message>
    <message>
        <source>Start:</source>
        <translation>开始：</translation>
    </message>
    <message>
        <source>Universe</source>
        <translation>域</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>通道</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>值</translation>
    </message>
    <message>
        <source>Stop when released</source>
        <translation>回落时停止</translation>
    </message>
    <message>
        <source>Live input</source>
        <translation>实时输入</translation>
    </message>
    <message>
        <source>none</source>
        <translation>无</translation>
    </message>
    <message>
        <source>On Capture</source>
        <translation>点击采集时</translation>
    </message>
    <message>
        <source>First light</source>
        <translation>首次亮起</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>来源</translation>
    </message>
    <message>
        <source>Packets/s</source>
        <translation>包/秒</translation>
    </message>
    <message>
        <source>Frames/s</source>
        <translation>帧/秒</translation>
    </message>
    <message>
        <source>Last seen</source>
        <translation>最近收到</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>电平</translation>
    </message>
    <message>
        <source>关于 Quorvex(&amp;A)...</source>
        <translation>关于 Quorvex(&amp;A)...</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>设置…</translation>
    </message>
    <message>
        <source>Preview a recording…</source>
        <translation>预览录制文件…</translation>
    </message>
    <message>
        <source>关于 Quorvex</source>
        <translation>关于 Quorvex</translation>
    </message>
    <message>
        <source>Quorvex，版本 %1</source>
        <translation>Quorvex，版本 %1</translation>
    </message>
    <message>
        <source>Copyright (C) 2026 Quorvex</source>
        <translation>版权所有 (C) 2026 Quorvex</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Frame buffer (MB)</source>
        <translation>帧缓冲区 (MB)</translation>
    </message>
    <message>
        <source>Preview a recording</source>
        <translation>预览录制文件</translation>
    </message>
    <message>
        <source>rgb文件(*.RGB)</source>
        <translation>RGB 文件 (*.RGB)</translation>
    </message>
    <message>
        <source>Cannot preview %1: %2.</source>
        <translation>无法预览 %1：%2。</translation>
    </message>
    <message>
        <source>Cannot preview %1: %2</source>
        <translation>无法预览 %1：%2</translation>
    </message>
    <message>
        <source>Preview – %1</source>
        <translation>预览 – %1</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>另存为</translation>
    </message>
    <message>
        <source> / %1 left</source>
        <translation> / 剩余 %1</translation>
    </message>
    <message>
        <source>%1 s ago</source>
        <translation>%1 秒前</translation>
    </message>
    <message>
        <source>Please enter an unsigned integer.</source>
        <translation>请输入一个非负整数。</translation>
    </message>
    <message>
        <source>Please enter a duration as mm:ss, for example 02:30.</source>
        <translation>请按“分:秒”输入时长，例如 02:30。</translation>
    </message>
    <message>
        <source>waiting for start trigger</source>
        <translation>等待开始触发</translation>
    </message>
    <message>
        <source>Capture (%1)</source>
        <translation>采集（%1）</translation>
    </message>
    <message>
        <source>Pause (%1)</source>
        <translation>暂停（%1）</translation>
    </message>
    <message>
        <source>Stop (%1)</source>
        <translation>停止（%1）</translation>
    </message>
    <message>
        <source>Capture key</source>
        <translation>采集热键</translation>
    </message>
    <message>
        <source>Pause key</source>
        <translation>暂停热键</translation>
    </message>
    <message>
        <source>Stop key</source>
        <translation>停止热键</translation>
    </message>
    <message>
        <source>System-wide hot keys are not available: %1 work while Quorvex has the focus.</source>
        <translation>全局热键不可用：%1 仅在 Quorvex 窗口处于焦点时有效。</translation>
    </message>
    <message>
        <source>Another program (often the desktop) has taken these hot keys, so they do not reach Quorvex: %1. Pick others in Settings (right-click the window).</source>
        <translation>这些热键已被其他程序（通常是桌面环境）占用，Quorvex 收不到：%1。请在“设置”中另选按键（在窗口上点右键）。</translation>
    </message>
    <message>
        <source>Capture, Pause and Stop need keys of their own: %1 is chosen twice.</source>
        <translation>采集、暂停和停止需要各用不同的按键：%1 被选了两次。</translation>
    </message>
    <message>
        <source>%1 would be taken from every other program: hold Ctrl, Alt or Meta with it, or choose a function key.</source>
        <translation>%1 会让其他所有程序都收不到这个键：请同时按住 Ctrl、Alt 或 Meta，或者选一个功能键。</translation>
    </message>
    <message>
        <source>sACN universe N is recorded as universe N minus this; used at Parse</source>
        <translation>sACN 域 N 记录为域 N 减去此值；解析时生效</translation>
    </message>
    <message>
        <source>sACN offset</source>
        <translation>sACN 偏移</translation>
    </message>
    <message>
        <source>Join the multicast groups of the sACN universes found</source>
        <translation>加入所找到 sACN 域的组播组</translation>
    </message>
    <message>
        <source>For network switches with IGMP snooping, which send multicast only to ports that joined it</source>
        <translation>用于开启 IGMP 侦听的交换机：组播只发往已加入的端口</translation>
    </message>
    <message>
        <source>First universe:</source>
        <translation>第一个 Universe：</translation>
    </message>
    <message>
        <source>Universes:</source>
        <translation>Universe 列表：</translation>
    </message>
    <message>
        <source>all, e.g. 100-102,200</source>
        <translation>全部，例如 100-102,200</translation>
    </message>
    <message>
        <source>Only these universes are recorded; in ascending order they fill port 1, then port 2, and so on. Empty: every universe from the first universe on.</source>
        <translation>只录制这些 Universe；它们按升序依次填入端口 1、端口 2，以此类推。留空：从第一个 Universe 起的所有 Universe。</translation>
    </message>
    <message>
        <source>Port 1 begins with this universe; lower ones are not recorded.</source>
        <translation>端口 1 从这个 Universe 开始；更小的不录制。</translation>
    </message>
    <message>
        <source>Save the last recording…</source>
        <translation>保存上一次录制…</translation>
    </message>
    <message>
        <source>Eject</source>
        <translation>弹出</translation>
    </message>
    <message>
        <source>Universes: %1</source>
        <translation>Universe 列表：%1</translation>
    </message>
    <message>
        <source>Parse is still looking for the show&apos;s universes. Stop it and close Quorvex?</source>
        <translation>解析仍在查找演出的 Universe。要停止解析并关闭 Quorvex 吗？</translation>
    </message>
    <message>
        <source>Keep parsing</source>
        <translation>继续解析</translation>
    </message>
    <message>
        <source>Stop and close</source>
        <translation>停止并关闭</translation>
    </message>
    <message>
        <source>A recording is running: %1 frames so far. Closing Quorvex ends it.</source>
        <translation>正在录制：目前已有 %1 帧。关闭 Quorvex 会结束录制。</translation>
    </message>
    <message>
        <source>Discard does not save it: its frames stay in %1 until the next Capture moves them aside.</source>
        <translation>“放弃”不会保存它：它的帧保留在 %1 中，直到下次采集把它移到一旁。</translation>
    </message>
    <message>
        <source>Keep recording</source>
        <translation>继续录制</translation>
    </message>
    <message>
        <source>Stop and save</source>
        <translation>停止并保存</translation>
    </message>
    <message>
        <source>Discard</source>
        <translation>放弃</translation>
    </message>
    <message>
        <source>The last recording (%1 frames) was not saved.</source>
        <translation>上一次录制（%1 帧）没有保存。</translation>
    </message>
    <message>
        <source>It is kept in %1 until the next Capture moves it aside.</source>
        <translation>它保留在 %1 中，直到下次采集把它移到一旁。</translation>
    </message>
    <message>
        <source>Save…</source>
        <translation>保存…</translation>
    </message>
    <message>
        <source>Close without saving</source>
        <translation>不保存并关闭</translation>
    </message>
    <message>
        <source>There is no unsaved recording.</source>
        <translation>没有未保存的录制。</translation>
    </message>
    <message>
        <source>not checked</source>
        <translation>不检查</translation>
    </message>
    <message>
        <source>The outputs of your controller: Parse and Capture say when a recording needs more</source>
        <translation>控制器的输出端口数：录制需要更多端口时，解析和采集会提示</translation>
    </message>
    <message>
        <source>Controller ports</source>
        <translation>控制器端口数</translation>
    </message>
    <message>
        <source>Keep the notes (.RGB.json) in the recordings folder, not beside the recording</source>
        <translation>把说明文件（.RGB.json）保存在录制文件夹中，而不是放在录制文件旁边</translation>
    </message>
    <message>
        <source>Eject %1</source>
        <translation>弹出 %1</translation>
    </message>
    <message>
        <source>To eject %1, right-click the window and choose &quot;Eject %1&quot;.</source>
        <translation>要弹出 %1，请右键单击窗口并选择“弹出 %1”。</translation>
    </message>
    <message>
        <source>Cannot eject %1: %2</source>
        <translation>无法弹出 %1：%2</translation>
    </message>
    <message>
        <source>%1 is ejected: it can be pulled out.</source>
        <translation>%1 已弹出：现在可以拔出。</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>清除</translation>
    </message>
    <message>
        <source>Forget the rows; senders still sending come back at once.</source>
        <translation>清除这些行；仍在发送的发送方会立即重新出现。</translation>
    </message>
    <message>
        <source>Select a row to see its universe&apos;s 512 channels.</source>
        <translation>选择一行以查看该 Universe 的 512 个通道。</translation>
    </message>
    <message>
        <source>Recorded</source>
        <translation>录制</translation>
    </message>
    <message>
        <source>Protocol</source>
        <translation>协议</translation>
    </message>
    <message>
        <source>Sent as</source>
        <translation>发送号</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Priority</source>
        <translation>优先级</translation>
    </message>
    <message>
        <source>CID</source>
        <translation>CID</translation>
    </message>
    <message>
        <source>stale</source>
        <translation>已停</translation>
    </message>
    <message>
        <source>Universe %1: waiting for its next packet</source>
        <translation>Universe %1：等待下一个数据包</translation>
    </message>
    <message>
        <source>Universe %1: %2 channels, changes highlighted</source>
        <translation>Universe %1：%2 个通道，变化的已高亮</translation>
    </message>
    <message>
        <source>What the LEDs show, a strip per port:</source>
        <translation>LED 显示的内容，每个端口一条：</translation>
    </message>
</context>
</TS>
