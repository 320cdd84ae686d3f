<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Preview</name>
    <message>
        <source>the picture is too large to show</source>
        <translation>图像太大，无法显示</translation>
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
</context>
</TS>
