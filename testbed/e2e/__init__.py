# SPDX-License-Identifier: GPL-3.0-or-later
"""The harness of the end-to-end tests, the benchmarks and the screenshot
script: the real program on a real screen, its speech and its sound.

    from testbed import e2e

    with e2e.Xvfb() as x, e2e.Abacorn(x) as app:
        win = app.wait_for_window()
        x.click(500, 300)
        r, g, b = x.screenshot().pixel(10, 10)
        events = app.wait_for_speech(lambda ev: any(e.event == "say" for e in ev))

Its modules, each built on those before it:
    processes      waiting, stopping by PID, the clean-up on SIGTERM,
                   SIGHUP and Ctrl-C, busy loops
    images         pixels of a screen, pictures (PPM, PNG)
    screens        Xvfb and Weston
    buses          the session and accessibility buses, the desktop's
                   screen-reader switch, a proxy that holds back calls,
                   the walk of an AT-SPI tree
    ssip_recorder  the recording speech daemon (also a script)
    program        any program on a screen, the trainer, its speech log
    desktop        openbox with tint2, xfwm4, Orca
    recordings     what a sound server played, sample by sample
    sound_servers  PulseAudio and PipeWire of the test's own
    voices         the trainer on its real voices, speech-dispatcher, a
                   daemon that hangs, a bare SSIP client
    controls       where the trainer's controls are, clicks on them, ink
                   and the focus ring, a session waiting for the welcome;
                   what every binding shares: the Tab walk, the names a
                   screen reader finds, the tiles' colours
    heard          the card cycle heard answer by answer, XTest
    static_server  a folder served on 127.0.0.1 (also a script)
    browser        the browser build's: headless Chromium over the
                   DevTools Protocol, its speech heard by the recorder,
                   the folder served
Every public name is here as e2e.<name>; the recording daemon is
e2e.ssip_recorder. The browser harness needs the system Python's websocket
client and is imported on its own: from testbed.e2e import browser.

Python standard library only, but for browser. Every process started here is stopped by its
own PID, also when a test fails or the script is ended by a signal; nothing
is killed by name, and nothing shared is touched.

Environment:
    ABACORN_BUILD_DIR   the CMake build directory (default: <repo>/build)
    ABACORN_E2E_KEEP    set: working directories and logs are kept
"""

from . import ssip_recorder
from .buses import A11Y_LAUNCHER, AccessibilityBus, accessible_subtree, BusProxy, ScreenReaderSwitch, follows_screen_reader_switch
from .controls import (BLACK, DARK_GREY, FOCUS_RING, FOR_ANSWER, GREEN, INTERNAL, LAVENDER, MAX_ITEMS, MIN_ITEMS,
                       NAMES, RED, RING_REACH, STANDARD_WALK, TILES, TIMEOUT, WALK_NAMES, WELCOME, WHITE, WRONG,
                       Session, centre, click_at, click_control, colour_box, control_centre, ink_box, ink_in,
                       ink_mask, is_ink, near, pick_with_mouse, popup_window, rect, ring_around, ring_box)
from .desktop import ALT_F4_CLOSES, OPENBOX_RC, Openbox, Orca, Xfwm4
from .heard import LOST_AFTER, QUIET, HeardCards, Text, XTest
from .images import Image, Screen
from .processes import (BusyLoops, E2EError, Terminated, alive, children, cpu_ticks, descendants, private_dir,
                        processes_mentioning, stat_fields, stop_descendants, stop_pids, stop_process,
                        wait_until, wait_until_idle)
from .program import Abacorn, Program, SpeechEvent, build_dir, monotonic_ms, read_speech_log
from .recordings import RATE, Audio, Recording, sox_rms
from .screens import SCREEN_DEPTH, SCREEN_HEIGHT, SCREEN_WIDTH, Weston, Xvfb
from .sound_servers import SERVER_TOOLS, SERVERS, PipeWireServer, PulseServer
from .voices import (FLITE_VOICE, GAVE_UP_DEFAULT, DeafSocket, OwnVoiceTestCase, SpeechDispatcher, SsipClient, clean_environment,
                     have_speech_dispatcher, trainer, without_speech_dispatcher)

__all__ = [
    "A11Y_LAUNCHER", "Abacorn", "ALT_F4_CLOSES", "AccessibilityBus", "accessible_subtree", "BusProxy", "alive", "Audio", "BLACK",
    "build_dir", "BusyLoops", "centre", "children", "cpu_ticks", "clean_environment", "click_at", "click_control",
    "colour_box", "control_centre", "DARK_GREY", "DeafSocket", "OwnVoiceTestCase", "descendants", "E2EError",
    "FLITE_VOICE", "FOCUS_RING", "follows_screen_reader_switch", "FOR_ANSWER", "GAVE_UP_DEFAULT", "GREEN",
    "have_speech_dispatcher", "HeardCards", "Image", "ink_box", "ink_in", "ink_mask", "INTERNAL", "is_ink",
    "LAVENDER", "LOST_AFTER", "MAX_ITEMS", "MIN_ITEMS", "monotonic_ms", "NAMES", "near", "Openbox", "OPENBOX_RC",
    "Orca", "pick_with_mouse", "PipeWireServer", "popup_window", "private_dir", "processes_mentioning", "Program",
    "PulseServer", "QUIET", "RATE", "RED", "read_speech_log", "Recording", "rect", "ring_around", "ring_box",
    "RING_REACH", "Screen", "SCREEN_DEPTH", "SCREEN_HEIGHT", "SCREEN_WIDTH", "ScreenReaderSwitch", "SERVER_TOOLS",
    "SERVERS", "Session", "sox_rms", "SpeechDispatcher", "SpeechEvent", "ssip_recorder", "SsipClient",
    "STANDARD_WALK", "stat_fields", "stop_descendants", "stop_pids", "stop_process", "Terminated", "Text", "TILES",
    "TIMEOUT", "trainer", "wait_until", "wait_until_idle", "WALK_NAMES", "WELCOME", "Weston", "WHITE", "WRONG",
    "without_speech_dispatcher", "XTest", "Xfwm4", "Xvfb"
]
