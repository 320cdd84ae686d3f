<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Preview</name>
    <message>
        <source>the picture is too large to show</source>
        <translation>the picture is too large to show</translation>
    </message>
    <message>
        <source>Fit to window</source>
        <translation>Fit to window</translation>
    </message>
    <message>
        <source>x2</source>
        <translation>x2</translation>
    </message>
    <message>
        <source>x4</source>
        <translation>x4</translation>
    </message>
    <message>
        <source>x8</source>
        <translation>x8</translation>
    </message>
    <message>
        <source>Zoom:</source>
        <translation>Zoom:</translation>
    </message>
    <message>
        <source>%1 frames, %2 ports, %3 pixels per port, %4, %5</source>
        <translation>%1 frames, %2 ports, %3 pixels per port, %4, %5</translation>
    </message>
    <message>
        <source>, a row every %1 frames</source>
        <translation>, a row every %1 frames</translation>
    </message>
    <message>
        <source>LEDs at frame:</source>
        <translation>LEDs at frame:</translation>
    </message>
</context>
<context>
    <name>quorvex::app::MainWindow</name>
    <message>
        <source>Cpature</source>
        <translation>Capture</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>IP address：</source>
        <translation>IP address:</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Parse</source>
        <translation>Parse</translation>
    </message>
    <message>
        <source>Local network</source>
        <translation>Local network</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Parameters</source>
        <translation>Parameters</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Log</translation>
    </message>
    <message>
        <source>IC Type:</source>
        <translation>IC Type:</translation>
    </message>
    <message>
        <source>Universes/Port:</source>
        <translation>Universes/Port:</translation>
    </message>
    <message>
        <source>Current frame num:</source>
        <translation>Current frame:</translation>
    </message>
    <message>
        <source>Cpature Frames:</source>
        <translation>Capture Frames:</translation>
    </message>
    <message>
        <source>RGBW</source>
        <translation>RGBW</translation>
    </message>
    <message>
        <source>Duration (mm:ss):</source>
        <translation>Duration (mm:ss):</translation>
    </message>
    <message>
        <source>Start:</source>
        <translation>Start:</translation>
    </message>
    <message>
        <source>Universe</source>
        <translation>Universe</translation>
    </message>
    <message>
        <source>Channel</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Stop when released</source>
        <translation>Stop when released</translation>
    </message>
    <message>
        <source>Live input</source>
        <translation>Live input</translation>
    </message>
    <message>
        <source>none</source>
        <translation>none</translation>
    </message>
    <message>
        <source>On Capture</source>
        <translation>On Capture</translation>
    </message>
    <message>
        <source>First light</source>
        <translation>First light</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>Packets/s</source>
        <translation>Packets/s</translation>
    </message>
    <message>
        <source>Frames/s</source>
        <translation>Frames/s</translation>
    </message>
    <message>
        <source>Last seen</source>
        <translation>Last seen</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>Level</translation>
    </message>
    <message>
        <source>关于 Quorvex(&amp;A)...</source>
        <translation>&amp;About Quorvex...</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Settings...</translation>
    </message>
    <message>
        <source>Preview a recording…</source>
        <translation>Preview a recording...</translation>
    </message>
    <message>
        <source>关于 Quorvex</source>
        <translation>About Quorvex</translation>
    </message>
    <message>
        <source>Quorvex，版本 %1</source>
        <translation>Quorvex, version %1</translation>
    </message>
    <message>
        <source>Copyright (C) 2026 Quorvex</source>
        <translation>Copyright (C) 2026 Quorvex</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Frame buffer (MB)</source>
        <translation>Frame buffer (MB)</translation>
    </message>
    <message>
        <source>Preview a recording</source>
        <translation>Preview a recording</translation>
    </message>
    <message>
        <source>rgb文件(*.RGB)</source>
        <translation>RGB files (*.RGB)</translation>
    </message>
    <message>
        <source>Cannot preview %1: %2.</source>
        <translation>Cannot preview %1: %2.</translation>
    </message>
    <message>
        <source>Cannot preview %1: %2</source>
        <translation>Cannot preview %1: %2</translation>
    </message>
    <message>
        <source>Preview – %1</source>
        <translation>Preview - %1</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source> / %1 left</source>
        <translation> / %1 left</translation>
    </message>
    <message>
        <source>%1 s ago</source>
        <translation>%1 s ago</translation>
    </message>
    <message>
        <source>Please enter an unsigned integer.</source>
        <translation>Please enter a whole number of 0 or more.</translation>
    </message>
    <message>
        <source>Please enter a duration as mm:ss, for example 02:30.</source>
        <translation>Please enter a duration as mm:ss, for example 02:30.</translation>
    </message>
    <message>
        <source>waiting for start trigger</source>
        <translation>waiting for start trigger</translation>
    </message>
    <message>
        <source>Capture (%1)</source>
        <translation>Capture (%1)</translation>
    </message>
    <message>
        <source>Pause (%1)</source>
        <translation>Pause (%1)</translation>
    </message>
    <message>
        <source>Stop (%1)</source>
        <translation>Stop (%1)</translation>
    </message>
    <message>
        <source>Capture key</source>
        <translation>Capture key</translation>
    </message>
    <message>
        <source>Pause key</source>
        <translation>Pause key</translation>
    </message>
    <message>
        <source>Stop key</source>
        <translation>Stop key</translation>
    </message>
    <message>
        <source>System-wide hot keys are not available: %1 work while Quorvex has the focus.</source>
        <translation>System-wide hot keys are not available: %1 work while Quorvex has the focus.</translation>
    </message>
    <message>
        <source>Another program (often the desktop) has taken these hot keys, so they do not reach Quorvex: %1. Pick others in Settings (right-click the window).</source>
        <translation>Another program (often the desktop) has taken these hot keys, so they do not reach Quorvex: %1. Pick others in Settings (right-click the window).</translation>
    </message>
    <message>
        <source>Capture, Pause and Stop need keys of their own: %1 is chosen twice.</source>
        <translation>Capture, Pause and Stop need keys of their own: %1 is chosen twice.</translation>
    </message>
    <message>
        <source>%1 would be taken from every other program: hold Ctrl, Alt or Meta with it, or choose a function key.</source>
        <translation>%1 would be taken from every other program: hold Ctrl, Alt or Meta with it, or choose a function key.</translation>
    </message>
    <message>
        <source>sACN universe N is recorded as universe N minus this; used at Parse</source>
        <translation>sACN universe N is recorded as universe N minus this; used at Parse</translation>
    </message>
    <message>
        <source>sACN offset</source>
        <translation>sACN offset</translation>
    </message>
    <message>
        <source>Join the multicast groups of the sACN universes found</source>
        <translation>Join the multicast groups of the sACN universes found</translation>
    </message>
    <message>
        <source>For network switches with IGMP snooping, which send multicast only to ports that joined it</source>
        <translation>For network switches with IGMP snooping, which send multicast only to ports that joined it</translation>
    </message>
    <message>
        <source>First universe:</source>
        <translation>First universe:</translation>
    </message>
    <message>
        <source>Universes:</source>
        <translation>Universes:</translation>
    </message>
    <message>
        <source>all, e.g. 100-102,200</source>
        <translation>all, e.g. 100-102,200</translation>
    </message>
    <message>
        <source>Only these universes are recorded; in ascending order they fill port 1, then port 2, and so on. Empty: every universe from the first universe on.</source>
        <translation>Only these universes are recorded; in ascending order they fill port 1, then port 2, and so on. Empty: every universe from the first universe on.</translation>
    </message>
    <message>
        <source>Port 1 begins with this universe; lower ones are not recorded.</source>
        <translation>Port 1 begins with this universe; lower ones are not recorded.</translation>
    </message>
    <message>
        <source>Save the last recording…</source>
        <translation>Save the last recording...</translation>
    </message>
    <message>
        <source>Eject</source>
        <translation>Eject</translation>
    </message>
    <message>
        <source>Universes: %1</source>
        <translation>Universes: %1</translation>
    </message>
    <message>
        <source>Parse is still looking for the show&apos;s universes. Stop it and close Quorvex?</source>
        <translation>Parse is still looking for the show&apos;s universes. Stop it and close Quorvex?</translation>
    </message>
    <message>
        <source>Keep parsing</source>
        <translation>Keep parsing</translation>
    </message>
    <message>
        <source>Stop and close</source>
        <translation>Stop and close</translation>
    </message>
    <message>
        <source>A recording is running: %1 frames so far. Closing Quorvex ends it.</source>
        <translation>A recording is running: %1 frames so far. Closing Quorvex ends it.</translation>
    </message>
    <message>
        <source>Discard does not save it: its frames stay in %1 until the next Capture moves them aside.</source>
        <translation>Discard does not save it: its frames stay in %1 until the next Capture moves them aside.</translation>
    </message>
    <message>
        <source>Keep recording</source>
        <translation>Keep recording</translation>
    </message>
    <message>
        <source>Stop and save</source>
        <translation>Stop and save</translation>
    </message>
    <message>
        <source>Discard</source>
        <translation>Discard</translation>
    </message>
    <message>
        <source>The last recording (%1 frames) was not saved.</source>
        <translation>The last recording (%1 frames) was not saved.</translation>
    </message>
    <message>
        <source>It is kept in %1 until the next Capture moves it aside.</source>
        <translation>It is kept in %1 until the next Capture moves it aside.</translation>
    </message>
    <message>
        <source>Save…</source>
        <translation>Save...</translation>
    </message>
    <message>
        <source>Close without saving</source>
        <translation>Close without saving</translation>
    </message>
    <message>
        <source>There is no unsaved recording.</source>
        <translation>There is no unsaved recording.</translation>
    </message>
    <message>
        <source>not checked</source>
        <translation>not checked</translation>
    </message>
    <message>
        <source>The outputs of your controller: Parse and Capture say when a recording needs more</source>
        <translation>The outputs of your controller: Parse and Capture say when a recording needs more</translation>
    </message>
    <message>
        <source>Controller ports</source>
        <translation>Controller ports</translation>
    </message>
    <message>
        <source>Keep the notes (.RGB.json) in the recordings folder, not beside the recording</source>
        <translation>Keep the notes (.RGB.json) in the recordings folder, not beside the recording</translation>
    </message>
    <message>
        <source>Eject %1</source>
        <translation>Eject %1</translation>
    </message>
    <message>
        <source>To eject %1, right-click the window and choose &quot;Eject %1&quot;.</source>
        <translation>To eject %1, right-click the window and choose &quot;Eject %1&quot;.</translation>
    </message>
    <message>
        <source>Cannot eject %1: %2</source>
        <translation>Cannot eject %1: %2</translation>
    </message>
    <message>
        <source>%1 is ejected: it can be pulled out.</source>
        <translation>%1 is ejected: it can be pulled out.</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Forget the rows; senders still sending come back at once.</source>
        <translation>Forget the rows; senders still sending come back at once.</translation>
    </message>
    <message>
        <source>Select a row to see its universe&apos;s 512 channels.</source>
        <translation>Select a row to see its universe&apos;s 512 channels.</translation>
    </message>
    <message>
        <source>Recorded</source>
        <translation>Recorded</translation>
    </message>
    <message>
        <source>Protocol</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>Sent as</source>
        <translation>Sent as</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Priority</source>
        <translation>Priority</translation>
    </message>
    <message>
        <source>CID</source>
        <translation>CID</translation>
    </message>
    <message>
        <source>stale</source>
        <translation>stale</translation>
    </message>
    <message>
        <source>Universe %1: waiting for its next packet</source>
        <translation>Universe %1: waiting for its next packet</translation>
    </message>
    <message>
        <source>Universe %1: %2 channels, changes highlighted</source>
        <translation>Universe %1: %2 channels, changes highlighted</translation>
    </message>
    <message>
        <source>What the LEDs show, a strip per port:</source>
        <translation>What the LEDs show, a strip per port:</translation>
    </message>
</context>
</TS>
