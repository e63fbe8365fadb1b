"""The end-to-end scenario table: one row per run of the program, written once and run
against the native build (simulated machine) and the Windows build (under Wine).

Each row gives the machine, the command line, the exact standard output, the exit status,
the registry values that matter afterwards, and the driver's lines (open, ioctl, close).
Fields that only the simulated machine can show (restart, failed opens, registry-call
count, unchanged machine file) are checked on the native build; rows that only one build
can run name their reason in run.py's KNOWN_DIFFERENCES.

A machine's ANSI code page (ansi_code_page) also sets the locale the Windows build runs
under, which is where Wine takes its code page from; that build's redirected output is in
the code page, so a character the code page lacks is '?' there."""

from dataclasses import dataclass, field
from typing import Optional

from expected import (BOARD_CONFLICT, CHANGED, CLOSE, ENUM_USAGE, GENERAL_USAGE, GET_USAGE,
                      INVALID_GET, NO_DEVICE, NO_RS485, OPEN, PORT_CONFLICT, SET_USAGE,
                      UNKNOWN_DEVICE, board_report, enum_report, invalid_at,
                      port_count_query, port_report, session)
from machines import (ARBITER, ENUM, EVENT_SOURCE, KNOBS, PARAMETERS, SERVICE, Board, Expand, Raw,
                      Reg, ansi_code_page, comdb, comdb_bytes, decoy, device_manager,
                      driver_knobs, machine, property_change, read_only, service_key, store,
                      utf16z)

NO_KEY = object()  # expected value: the key itself is absent


@dataclass
class Scenario:
    name: str
    machine: Optional[object]  # a machines.Reg; None: no machine file at all
    args: list
    stdout: str
    status: int = 0
    values: list = field(default_factory=list)  # (key path, value name, expected)
    driver: list = field(default_factory=list)  # open / ioctl / close lines, in order
    unchanged: bool = False  # the program's keys (and the native machine file) untouched
    restart: Optional[str] = None  # device instance restarted (native build only)
    failed_opens: int = 0  # "open-failed" lines (native build only)
    calls: Optional[int] = None  # exact registry-call count (native build only)
    platform: bool = True  # False: the run never reaches the machine
    native_only: Optional[str] = None  # key of run.KNOWN_DIFFERENCES
    wine_only: Optional[str] = None  # key of run.KNOWN_DIFFERENCES
    notes: list = field(default_factory=list)  # the lines on stderr, in order
    stderr: Optional[str] = None  # instead of notes: a regular expression for the native
    # build's stderr (under Wine: for one of its lines)
    wow64: bool = False  # run only as the 32-bit build on 64-bit Windows (run.py --wine32)
    also: Optional[list] = None  # a second command line, started at the same moment on the
    # same machine, expecting the same output; restart may then list several instances
    console: Optional[str] = None  # Windows build only: "terminal" (stdout is what a console
    # shows, standard error included) or an output code page (redirected from a console)
    hold: int = 0  # Windows build only: ms another run holds the run mutex when this one starts


def p(sub=""):
    return PARAMETERS + ("\\" + sub if sub else "")


def node(board, index):
    return f"{ENUM}\\{board.port_node(index)}"


def coms(*numbers):
    return [f"COM{n}" for n in numbers]


# ---- Machines ----------------------------------------------------------------------------

PCI_A = Board("PCI\\VEN_11FE&DEV_0810&SUBSYS_000411FE\\4&1a2b3c&0&00E0",
              "PCI\\VEN_11FE&DEV_0810&SUBSYS_000411FE", ui=1, node_id=0, software=0,
              prefix="5&2f1e0d9c&0", ports=coms(3, 4, 5, 6))
ISA_B = Board("PNPISA\\NRV_D1008\\0", "PNPISA\\NRV_D1008", ui=2, node_id=1, software=1,
              prefix="1&3a4b5c6d&0", ports=coms(7, 8, 9, 10), io_base=0x2A0)
HELD = [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 14]  # the boards' numbers, and COM12, COM14


def lab_store(scan=10, verbose=0, rs485=0, name_a="Lab rack A", port0=None):
    params = dict(ScanRate=scan, NumDevices=2)
    if verbose:
        params["VerboseLog"] = verbose
    if rs485:
        params["GlobalRS485Options"] = rs485
    return store(
        params,
        Device0=(dict(IoAddress=1, ModelName="ZephynPort 4 PCI", Name=name_a, NumPorts=4),
                 [dict(Name="COM3", **(port0 or {})),
                  dict(Name="COM4", WaitOnTx=3, LockBaud=115200, TxCloseTime=5, MapCdToDsr=2),
                  dict(Name="COM5"), dict(Name="COM6")]),
        # IoAddress as stored is never loaded: the board's resources give 0x2A0.
        Device1=(dict(IoAddress=0x180, Name="Line controller", NumPorts=4),
                 [dict(Name=c) for c in coms(7, 8, 9, 10)]),
    )


# A display name of 42 characters, 40 of them Japanese.
JAPANESE_NAME = "AB" + "計測ラック" * 8


def lab(*extra, **store_options):
    """Two boards: board 0 a 4-port PCI board (COM3 to COM6), board 1 an ISA board at 0x2A0
    with 4 ports stored (COM7 to COM10); COM1, COM2, COM12 and COM14 held by others."""
    return machine(decoy(), PCI_A.reg, ISA_B.reg, service_key(), lab_store(**store_options),
                   comdb(HELD), driver_knobs(Reply="OK: 52"), *extra)


LAB = lab()
ALL_ON = dict(RS485Override=1, RS485Low=3, LockBaud=9600, TxCloseTime=2, MapCdToDsr=1,
              Map2StopsTo1=1, WaitOnTx=1, RingEmulate=1, BlockSerenum=1)
LAB_RS485 = lab(rs485=1, scan=50, verbose=1, port0=ALL_ON)

BIG_COMS = coms(*range(101, 164)) + ["COM10000"]
BIG = Board("PCI\\VEN_11FE&DEV_0805&SUBSYS_004011FE\\4&5e6f7a&0&0008",
            "PCI\\VEN_11FE&DEV_0805&SUBSYS_004011FE", ui=7, node_id=5, software=2,
            prefix="5&64a0b1&0", ports=BIG_COMS)


def big(*extra):
    """One board whose 64 ports the driver reports (no NumPorts stored); its last port is
    named COM10000, longer than the enumeration shows; COM230 held by another device."""
    return machine(
        decoy(), BIG.reg, service_key(),
        store(dict(ScanRate=10, NumDevices=1),
              Device5=(dict(IoAddress=1, ModelName="ZephynPort 64", Name="Rack 64"),
                       [dict(Name=c) for c in BIG_COMS])),
        comdb([1, 2, *range(101, 164), 230]), driver_knobs(port_counts={7: 64}), *extra)


FRESH_BOARD = Board("PCI\\VEN_11FE&DEV_080B\\3&2411e6fe&0&48", "PCI\\VEN_11FE&DEV_080B", ui=4,
                    software=3, prefix="4&1f&0")
# A board the driver cannot count (no port count for UI number 4), no node id, and no
# service key, settings store or COM port database yet.
FRESH = machine(decoy(), FRESH_BOARD.reg, driver_knobs())

MODEM = Board("PCI\\VEN_11FE&DEV_0813\\3&11&0&50", "PCI\\VEN_11FE&DEV_0813", ui=5, node_id=2,
              software=5, prefix="4&2a&0")
ISA_HIGH = Board("PNPISA\\NRV_D1008\\1", "PNPISA\\NRV_D1008", ui=6, node_id=3, software=6,
                 prefix="1&4b&0", io_base=0x400)
# Boards with nothing stored: a modem model, and an ISA board whose I/O range lies above
# the ISA ports (taken as no address, so the board shows as PCI).
BARE = machine(decoy(), MODEM.reg, ISA_HIGH.reg)

NO_ADAPTER = machine(decoy(), service_key(), store(dict(ScanRate=10)), comdb([1, 2]))

ABSENT_C = Board("PCI\\VEN_11FE&DEV_0803\\4&77&0&0010", "PCI\\VEN_11FE&DEV_0803", ui=3,
                 node_id=2, software=4, prefix="5&77&0", ports=coms(20, 21), present=False)
PCI_A_NODE3_ABSENT = Board(PCI_A.instance, "PCI\\VEN_11FE&DEV_0810&SUBSYS_000411FE", ui=1,
                           node_id=0, software=0, prefix=PCI_A.prefix, ports=coms(3, 4, 5, 6),
                           absent_ports=(3,))

# ---- Expected pieces ---------------------------------------------------------------------

LAB_ENUM = enum_report(("Lab rack A", coms(3, 4, 5, 6)), ("Line controller", coms(7, 8, 9, 10)))
EVENT_MESSAGE_FILE = Expand("%SystemRoot%\\system32\\IoLogMsg.dll;"
                            "%SystemRoot%\\system32\\drivers\\zephyn.sys")

# What every set that reached the driver writes besides its own change.
WRITER = [
    (EVENT_SOURCE, "EventMessageFile", EVENT_MESSAGE_FILE),
    (EVENT_SOURCE, "TypesSupported", 7),
    (SERVICE, "ErrorControl", 0), (SERVICE, "ImagePath", "System32\\Drivers\\zephyn.sys"),
    (SERVICE, "Group", "Extended Base"), (SERVICE, "Tag", 1), (SERVICE, "Type", 1),
    (SERVICE, "Start", 3),
]
STORE_REWRITTEN = WRITER + [
    (p(), "NumDevices", 2), (p(), "VerboseLog", None),
    (p("Device1"), "IoAddress", 0x2A0), (p("Device1"), "ModelName", "ZephynPort"),
    (p("Device1"), "ModemDevice", None),
    (p("Device0\\Port1"), "WaitOnTx", 1), (p("Device0\\Port1"), "MapCdToDsr", None),
    (p("Device0\\Port1"), "LockBaud", 115200), (p("Device0\\Port1"), "TxCloseTime", 5),
]


def port_values(key, **values):
    return [(p(key), name, value) for name, value in values.items()]


def friendly(board, index, com):
    return [(node(board, index), "FriendlyName", f"Norvane ZephynPort {index} ({com})"),
            (node(board, index) + "\\Device Parameters", "PortName", com)]


def renamed(board, names):
    return [v for i, com in enumerate(names) for v in friendly(board, i, com)]


def untouched(board, names):
    return [(node(board, i), "FriendlyName", f"Communications Port ({com})")
            for i, com in enumerate(names)]


def held(*numbers, size=32):
    return [(ARBITER, "ComDB", comdb_bytes(numbers, size))]


PORT_OPTION_NAMES = ["RS485Override", "RS485Low", "LockBaud", "TxCloseTime", "MapCdToDsr",
                     "Map2StopsTo1", "WaitOnTx", "RingEmulate"]


def port_commands(key, port, names, value):
    return [f"device[{key}].port[{port}].{name}={value}" for name in names]


# The notes on standard error.
NOTE = "ZPConfigUtil: "
RESTART_FAILED = (NOTE + "the board could not be restarted; the change takes full effect when the "
                  "board next starts.")


def shared_with(boards):
    return (NOTE + "the scan rate, verbose log and RS-485 mode are shared by every board; "
            f"board(s) {boards} take the new values when they restart.")


def not_accepted(refused, sent, last):
    return (NOTE + f"the driver did not accept {refused} of {sent} commands (last result "
            f"{last}); the board reads the settings from the registry when it restarts.")


def not_counted(ports):
    return NOTE + f"the driver did not report the port count of board 0; {ports} ports are shown."


def in_use(asked, port, now):
    return NOTE + f"COM{asked} is in use, so {port} is now COM{now}."


def skipped(names):
    return NOTE + f"COM numbers in use were skipped: the board's ports are now {names}."


def received(name, code_page=1252):
    return NOTE + f'the driver received the board name as "{name}" (code page {code_page}).'


def without(reg, path):
    del reg.keys[path]
    return reg


def com_knobs(**knobs):
    return Reg().key(KNOBS + "\\ComDatabase", **knobs)


# ---- The table ---------------------------------------------------------------------------

S = Scenario
SCENARIOS = [
    # Help and usage: answered without reaching the machine.
    S("help/no-arguments", None, [], GENERAL_USAGE, platform=False),
    S("help/unknown-command", LAB, ["frob"], "Invalid command! \n" + GENERAL_USAGE,
      platform=False),
    S("help/alone", LAB, ["help"], GENERAL_USAGE, platform=False),
    S("help/set", LAB, ["HELP", "Set"], SET_USAGE, platform=False),
    S("help/get", LAB, ["help", "GET"], GET_USAGE, platform=False),
    S("help/enum", LAB, ["help", "enum"], ENUM_USAGE, platform=False),
    S("help/help-is-no-topic", LAB, ["help", "help"], "Invalid command help! \n" + GENERAL_USAGE,
      platform=False),
    S("help/too-many-arguments", LAB, ["help", "set", "x"],
      "ZPConfigUtil help [get|set|enum]: \n" + GENERAL_USAGE, platform=False),

    # No adapter: only a multiport device of another service. No registry read is made.
    S("no-adapter/enum", NO_ADAPTER, ["enum"], NO_DEVICE, 1, unchanged=True, calls=0),
    S("no-adapter/get", NO_ADAPTER, ["get", "COM3"], NO_DEVICE, 1, unchanged=True, calls=0),
    S("no-adapter/set-without-options", NO_ADAPTER, ["set"], NO_DEVICE, 1, unchanged=True),

    # Reports of PCI and ISA boards and their ports.
    # Registry calls: node ids 2 x 3, Parameters 1 + 6 reads, board keys 2 x (2 + 4 reads),
    # ports 8 x (2 + 10 reads), Parameters closed 1.
    S("enum/two-boards", LAB, ["enum"], LAB_ENUM, unchanged=True, calls=122),
    S("enum/extra-words-ignored", LAB, ["ENUM", "extra", "words"], LAB_ENUM, unchanged=True),
    S("get/pci-board", LAB, ["get", "0"],
      board_report("ZephynPort 4 PCI", 4, "Lab rack A", "COM3"), unchanged=True),
    S("get/isa-board", LAB, ["Get", "1", "anything"],
      board_report("ZephynPort", 4, "Line controller", "COM7", io=0x2A0), unchanged=True),
    S("get/port-any-case", LAB, ["get", "com4"],
      port_report("COM4", baud=115200, timeout=5, wait=True), unchanged=True),
    S("get/port-of-isa-board", LAB, ["get", "COM10"], port_report("COM10"), unchanged=True),
    S("get/without-device", LAB, ["get"], INVALID_GET, unchanged=True),
    S("get/unknown-device", LAB, ["get", "COM99"], UNKNOWN_DEVICE + INVALID_GET, unchanged=True),
    S("get/leading-zero-names-nothing", LAB, ["get", "COM04"], UNKNOWN_DEVICE + INVALID_GET,
      unchanged=True),
    S("get/rs485-board", lab(rs485=2, scan=50, verbose=1), ["get", "0"],
      board_report("ZephynPort 4 PCI", 4, "Lab rack A", "COM3", scan=50, verbose=True,
                   rs485=True), unchanged=True),
    S("get/rs485-port", LAB_RS485, ["get", "COM3"],
      port_report("COM3", baud=9600, timeout=2, cd=True, stopbits=True, wait=True, ring=True,
                  blockpnp=True, rs485=(True, True)), unchanged=True),

    # A 64-port board counted by the driver.
    S("big/enum", big(), ["enum"], enum_report(("Rack 64", BIG_COMS)),
      driver=port_count_query(7), unchanged=True),
    S("big/get-long-port-name", big(), ["get", "COM10000"], port_report("COM10000"),
      driver=port_count_query(7), unchanged=True),
    S("big/start-renumbers-64-ports", big(), ["set", "0", "-start=COM200"], CHANGED,
      driver=port_count_query(7) + session(
          *[f"device[Device5].port[{i}].Name=COM{200 + i + (i >= 30)}" for i in range(64)]),
      values=[(p("Device5\\Port29"), "Name", "COM229"), (p("Device5\\Port30"), "Name", "COM231"),
              (p("Device5\\Port63"), "Name", "COM264"), (p("Device5"), "NumPorts", 64)]
      + friendly(BIG, 63, "COM264") + friendly(BIG, 0, "COM200")
      + held(1, 2, *range(200, 265), size=128),
      restart=BIG.instance,
      notes=[skipped("COM200-COM229, COM231-COM264")]),
    S("big/allports-ring", big(), ["set", "COM150", "-allports", "-ring=on"], CHANGED,
      driver=port_count_query(7) + session(
          *[f"device[Device5].port[{i}].RingEmulate=1" for i in range(64)]),
      values=[(p(f"Device5\\Port{i}"), "RingEmulate", 1) for i in (0, 49, 63)]
      + [(p("Device5\\Port63"), "Name", "COM10000")] + friendly(BIG, 63, "COM10000"),
      restart=BIG.instance),

    # A board with nothing stored yet, that the driver cannot count.
    S("fresh/get-board", FRESH, ["get", "0"],
      board_report("ZephynPort", 8, "ZN #1", "", scan=0),
      driver=port_count_query(4, failed=True), unchanged=True,
      notes=[not_counted(8)]),
    S("fresh/set-creates-store", FRESH, ["set", "0", "-scan=20"], CHANGED,
      driver=port_count_query(4, failed=True) + session("ScanRate=20"),
      values=WRITER + [(p(), "ScanRate", 20), (p(), "NumDevices", 1),
                       (p("Device0"), "NumPorts", 8), (p("Device0"), "IoAddress", 1),
                       (p("Device0"), "ModemDevice", None), (p("Device0"), "Name", "ZN #1"),
                       (p("Device0"), "ModelName", "ZephynPort"),
                       (p("Device0\\Port0"), "Name", ""), (p("Device0\\Port7"), "Name", ""),
                       (p("Device0\\Port7"), "WaitOnTx", None), (p("Device0\\Port8"), "", NO_KEY)],
      restart=FRESH_BOARD.instance,
      notes=[not_counted(8)]),

    S("bare/modem-board", BARE, ["get", "0"], board_report("ZephynModem", 8, "ZN #1", "", scan=0),
      unchanged=True),
    S("bare/isa-base-out-of-range", BARE, ["get", "1"],
      board_report("ZephynPort", 8, "ZN #2", "", scan=0), unchanged=True),
    S("bare/set-writes-identified-values", BARE, ["set", "1", "-verbose=on"], CHANGED,
      driver=session("VerboseLog=1"),
      values=[(p(), "VerboseLog", 1), (p(), "NumDevices", 2), (p(), "ScanRate", None),
              (p("Device2"), "ModemDevice", 5), (p("Device2"), "ModelName", "ZephynModem"),
              (p("Device2"), "NumPorts", 8), (p("Device2"), "Name", "ZN #1"),
              (p("Device3"), "IoAddress", 1), (p("Device3"), "ModemDevice", None),
              (p("Device3\\Port7"), "Name", "")],
      restart=ISA_HIGH.instance,
      notes=[shared_with(0)]),

    # Board options.
    S("set/name", LAB, ["set", "0", "-name=Bench 2"], CHANGED,
      driver=session("device[Device0].Name=Bench 2"),
      values=STORE_REWRITTEN + [(p("Device0"), "Name", "Bench 2"), (p(), "ScanRate", 10)]
      + renamed(PCI_A, coms(3, 4, 5, 6)) + untouched(ISA_B, coms(7, 8, 9, 10)),
      restart=PCI_A.instance),
    S("set/name-empty", LAB, ["set", "1", "-name="], CHANGED,
      driver=session("device[Device1].Name="), values=[(p("Device1"), "Name", "")],
      restart=ISA_B.instance),
    S("set/start-skips-held-numbers", LAB, ["set", "0", "-start=COM11"], CHANGED,
      driver=session(*[f"device[Device0].port[{i}].Name={c}"
                       for i, c in enumerate(coms(11, 13, 15, 16))]),
      values=[(p(f"Device0\\Port{i}"), "Name", c) for i, c in enumerate(coms(11, 13, 15, 16))]
      + friendly(PCI_A, 0, "COM11") + friendly(PCI_A, 3, "COM16")
      + held(1, 2, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16),
      restart=PCI_A.instance,
      notes=[skipped("COM11, COM13, COM15-COM16")]),
    S("set/scan", LAB, ["set", "1", "-scan=25"], CHANGED, driver=session("ScanRate=25"),
      values=STORE_REWRITTEN + [(p(), "ScanRate", 25), (p("Device1"), "NumPorts", 4),
                                (p("Device1\\Port4"), "", NO_KEY)]
      + renamed(ISA_B, coms(7, 8, 9, 10)) + untouched(PCI_A, coms(3, 4, 5, 6)),
      restart=ISA_B.instance,
      notes=[shared_with(0)]),
    S("set/rs485-and-verbose", LAB, ["set", "0", "-verbose=ON", "-RS485=on"], CHANGED,
      driver=session("GlobalRS485Options=1", "VerboseLog=1"),
      values=[(p(), "GlobalRS485Options", 1), (p(), "VerboseLog", 1)], restart=PCI_A.instance,
      notes=[shared_with(1)]),
    S("set/rs485-off", LAB_RS485, ["set", "1", "-rs485=off"], CHANGED,
      driver=session("GlobalRS485Options=0"),
      values=[(p(), "GlobalRS485Options", None), (p(), "VerboseLog", 1), (p(), "ScanRate", 50),
              (p("Device0\\Port0"), "RS485Low", 1)],
      restart=ISA_B.instance,
      notes=[shared_with(0)]),
    S("set/board-default-with-name", LAB_RS485, ["set", "0", "-default", "-name=Lab"], CHANGED,
      driver=session("device[Device0].Name=Lab", "VerboseLog=0", "ScanRate=10",
                     "GlobalRS485Options=0"),
      values=[(p("Device0"), "Name", "Lab"), (p(), "ScanRate", 10), (p(), "VerboseLog", None),
              (p(), "GlobalRS485Options", None), (p("Device0\\Port0"), "WaitOnTx", 1)],
      restart=PCI_A.instance,
      notes=[shared_with(1)]),
    S("set/board-default-conflict", LAB, ["set", "0", "-default", "-scan=5"],
      BOARD_CONFLICT + SET_USAGE, unchanged=True),
    # A database of 256 numbers (32 bytes) grows to 1024 before COM300 is claimed.
    S("set/start-above-database-size", LAB, ["set", "0", "-start=COM300"], CHANGED,
      driver=session(*[f"device[Device0].port[{i}].Name=COM{300 + i}" for i in range(4)]),
      values=held(1, 2, 7, 8, 9, 10, 12, 14, 300, 301, 302, 303, size=128),
      restart=PCI_A.instance),

    # Port options.
    S("set/every-port-option-on", lab(rs485=1),
      ["set", "COM3", "-toggle=on", "-low=On", "-baudrate=115200", "-timeout=7", "-CD=on",
       "-stopbits=on", "-Wait=on", "-ring=on", "-blockpnp=on"], CHANGED,
      driver=session(*port_commands("Device0", 0, PORT_OPTION_NAMES[:2], 1),
                     "device[Device0].port[0].LockBaud=115200",
                     "device[Device0].port[0].TxCloseTime=7",
                     *port_commands("Device0", 0, PORT_OPTION_NAMES[4:], 1)),
      values=port_values("Device0\\Port0", RS485Override=1, RS485Low=1, LockBaud=115200,
                         TxCloseTime=7, MapCdToDsr=1, Map2StopsTo1=1, WaitOnTx=1,
                         RingEmulate=1, BlockSerenum=1, Name="COM3")
      + port_values("Device0\\Port1", RS485Override=None, WaitOnTx=1),
      restart=PCI_A.instance),
    S("set/every-port-option-off", LAB_RS485,
      ["set", "COM3", "-toggle=off", "-low=off", "-baudrate=NONE", "-timeout", "-cd=off",
       "-stopbits=off", "-wait=off", "-ring=off", "-blockpnp=off"], CHANGED,
      driver=session(*port_commands("Device0", 0, PORT_OPTION_NAMES, 0)),
      values=port_values("Device0\\Port0", RS485Override=None, RS485Low=None, LockBaud=None,
                         TxCloseTime=None, MapCdToDsr=None, Map2StopsTo1=None, WaitOnTx=None,
                         RingEmulate=None, BlockSerenum=None, Name="COM3"),
      restart=PCI_A.instance),
    S("set/blockpnp-sends-nothing", LAB, ["set", "COM6", "-blockpnp=on"], CHANGED,
      driver=[OPEN, CLOSE], values=port_values("Device0\\Port3", BlockSerenum=1),
      restart=PCI_A.instance),
    S("set/allports", LAB, ["set", "COM8", "-allports", "-wait=on"], CHANGED,
      driver=session(*[f"device[Device1].port[{i}].WaitOnTx=1" for i in range(4)]),
      values=[(p(f"Device1\\Port{i}"), "WaitOnTx", 1) for i in range(4)]
      + [(p("Device0\\Port0"), "WaitOnTx", None)] + friendly(ISA_B, 3, "COM10"),
      restart=ISA_B.instance),
    S("set/allports-renames-only-the-named-port", LAB,
      ["set", "COM4", "-allports", "-portname=COM20", "-cd=on"], CHANGED,
      driver=session("device[Device0].port[1].Name=COM20",
                     *[f"device[Device0].port[{i}].MapCdToDsr=1" for i in range(4)]),
      values=[(p("Device0\\Port1"), "Name", "COM20"), (p("Device0\\Port2"), "Name", "COM5")]
      + [(p(f"Device0\\Port{i}"), "MapCdToDsr", 1) for i in range(4)]
      + friendly(PCI_A, 1, "COM20") + friendly(PCI_A, 2, "COM5")
      + held(1, 2, 3, 5, 6, 7, 8, 9, 10, 12, 14, 20),
      restart=PCI_A.instance),
    S("set/port-default-with-rs485", LAB_RS485, ["set", "COM3", "-default"], CHANGED,
      driver=session(*port_commands("Device0", 0, PORT_OPTION_NAMES, 0)),
      values=port_values("Device0\\Port0", RS485Override=None, RS485Low=None, LockBaud=None,
                         BlockSerenum=None, RingEmulate=None, Name="COM3"),
      restart=PCI_A.instance),
    S("set/port-default-without-rs485", LAB, ["set", "COM4", "-default"], CHANGED,
      driver=session(*port_commands("Device0", 1, PORT_OPTION_NAMES[2:], 0)),
      values=port_values("Device0\\Port1", WaitOnTx=None, LockBaud=None, TxCloseTime=None,
                         Name="COM4"),
      restart=PCI_A.instance),
    S("set/port-default-renames-first", LAB, ["set", "COM3", "-default", "-portname=COM9"],
      CHANGED,
      driver=session("device[Device0].port[0].Name=COM11",
                     *port_commands("Device0", 0, PORT_OPTION_NAMES[2:], 0)),
      values=[(p("Device0\\Port0"), "Name", "COM11")] + friendly(PCI_A, 0, "COM11")
      + held(1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14),
      restart=PCI_A.instance,
      notes=[in_use(9, "COM3", 11)]),
    # Asking for the name a port already has keeps it: the port's own number is released
    # before the usage map is read.
    S("set/portname-own-name-kept", LAB, ["set", "COM5", "-portname=COM5"], CHANGED,
      driver=session("device[Device0].port[2].Name=COM5"),
      values=[(p("Device0\\Port2"), "Name", "COM5")] + friendly(PCI_A, 2, "COM5")
      + held(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 14),
      restart=PCI_A.instance),
    S("set/portname-held-skipped", LAB, ["set", "COM5", "-portname=com12"], CHANGED,
      driver=session("device[Device0].port[2].Name=COM13"),
      values=[(p("Device0\\Port2"), "Name", "COM13")] + friendly(PCI_A, 2, "COM13")
      + held(1, 2, 3, 4, 6, 7, 8, 9, 10, 12, 13, 14),
      restart=PCI_A.instance,
      notes=[in_use(12, "COM5", 13)]),

    # The COM port database beside other programs: a number taken just before its claim,
    # a database that cannot grow, a claim that is not recorded, no number left.
    S("com/number-taken-before-claim", lab(com_knobs(TakenBeforeClaim=20)),
      ["set", "COM5", "-portname=COM20"], CHANGED,
      driver=session("device[Device0].port[2].Name=COM21"),
      values=[(p("Device0\\Port2"), "Name", "COM21")] + held(*HELD[:4], *HELD[5:], 20, 21),
      restart=PCI_A.instance, notes=[in_use(20, "COM5", 21)]),
    S("com/database-cannot-grow", lab(com_knobs(ResizeFails=1)), ["set", "0", "-start=COM300"],
      CHANGED, driver=[OPEN, CLOSE],
      values=[(p("Device0\\Port0"), "Name", "COM3")] + friendly(PCI_A, 3, "COM6") + held(*HELD),
      restart=PCI_A.instance,
      notes=[NOTE + "the COM port database cannot hold COM303 (error 5): the port names were "
             "not changed."]),
    S("com/database-cannot-grow-for-a-port", lab(com_knobs(ResizeFails=1)),
      ["set", "COM5", "-portname=COM300", "-wait=on"], CHANGED,
      driver=session("device[Device0].port[2].WaitOnTx=1"),
      values=port_values("Device0\\Port2", Name="COM5", WaitOnTx=1) + held(*HELD),
      restart=PCI_A.instance,
      notes=[NOTE + "the COM port database cannot hold COM300 (error 5): the port names were "
             "not changed."]),
    S("com/start-meets-a-number-just-taken", lab(com_knobs(TakenBeforeClaim=22)),
      ["set", "0", "-start=COM20"], CHANGED,
      driver=session(*[f"device[Device0].port[{i}].Name=COM{n}" for i, n in
                       enumerate((20, 21, 23, 24))]),
      values=held(1, 2, 7, 8, 9, 10, 12, 14, 20, 21, 22, 23, 24), restart=PCI_A.instance,
      notes=[skipped("COM20-COM21, COM23-COM24")]),
    S("com/own-number-next-free", LAB, ["set", "COM5", "-portname=COM3"], CHANGED,
      driver=session("device[Device0].port[2].Name=COM5"), values=held(*HELD),
      restart=PCI_A.instance, notes=[NOTE + "COM3 is in use, so COM5 keeps its name."]),
    S("com/claim-not-recorded", lab(com_knobs(TakenBeforeClaim=256, ResizeFails=1)),
      ["set", "COM5", "-portname=COM256"], CHANGED,
      driver=session("device[Device0].port[2].Name=COM257"),
      values=[(p("Device0\\Port2"), "Name", "COM257")] + held(*HELD[:4], *HELD[5:], 256),
      restart=PCI_A.instance,
      notes=[NOTE + "the COM port database did not record COM257 (error 87).",
             in_use(256, "COM5", 257)]),
    S("com/no-number-left", lab(comdb(range(1, 4097), size=512)),
      ["set", "COM5", "-portname=COM20"], CHANGED, driver=[OPEN, CLOSE],
      values=[(p("Device0\\Port2"), "Name", "COM5")], restart=PCI_A.instance,
      notes=[NOTE + "COM20 and every number above it are in use, so COM5 keeps its name."]),

    # Refused set requests: nothing reaches the driver or the registry.
    S("set-refused/too-few-arguments", LAB, ["set", "0"], "Invalid argument! \n" + SET_USAGE,
      unchanged=True),
    S("set-refused/unknown-device", LAB, ["set", "COM99", "-wait=on"],
      UNKNOWN_DEVICE + invalid_at("COM99"), unchanged=True),
    S("set-refused/pnp-is-no-keyword", LAB, ["set", "COM3", "-pnp=on"], invalid_at("-pnp=on"),
      unchanged=True),
    S("set-refused/repeated-option", LAB, ["set", "COM3", "-wait=on", "-wait=off"],
      invalid_at("-wait=off"), unchanged=True),
    S("set-refused/port-option-on-board", LAB, ["set", "0", "-wait=on"], invalid_at("-wait=on"),
      unchanged=True),
    S("set-refused/start-above-1023", LAB, ["set", "0", "-start=COM1024"],
      invalid_at("-start=COM1024"), unchanged=True),
    S("set-refused/forbidden-name-character", LAB, ["set", "0", "-name=a:b"],
      invalid_at("-name=a:b"), unchanged=True),
    S("set-refused/rs485-not-available", lab(rs485=2), ["set", "COM3", "-toggle=on"],
      NO_RS485 + SET_USAGE, unchanged=True),
    S("set-refused/allports-alone", LAB, ["set", "COM3", "-allports"], SET_USAGE,
      unchanged=True),
    S("set-refused/port-default-conflict", LAB, ["set", "COM3", "-default", "-toggle=on"],
      PORT_CONFLICT + SET_USAGE, unchanged=True),

    # The driver absent, refusing, failing, silent.
    S("driver/absent-set-changes-nothing", lab(driver_knobs(ControlDevice=0)),
      ["set", "COM3", "-wait=on"], SET_USAGE, unchanged=True, failed_opens=1,
      notes=[NOTE + "the driver's control device \\\\.\\zephyn cannot be opened (error 2): "
             "nothing was changed."]),
    S("driver/absent-port-count-from-catalogue", big(driver_knobs(ControlDevice=0)), ["enum"],
      enum_report(("Rack 64", BIG_COMS[:8])), unchanged=True, failed_opens=1,
      notes=[not_counted(8)]),
    S("driver/refuses-every-command", lab(driver_knobs(Reply="ERR: 3")),
      ["set", "COM3", "-wait=on", "-ring=on"], CHANGED,
      driver=session("device[Device0].port[0].WaitOnTx=1", "device[Device0].port[0].RingEmulate=1"),
      values=port_values("Device0\\Port0", WaitOnTx=1, RingEmulate=1), restart=PCI_A.instance,
      notes=[not_accepted(2, 2, 3)]),
    S("driver/every-exchange-fails", lab(driver_knobs(FailExchange=1)), ["set", "0", "-scan=30"],
      CHANGED, driver=session("ScanRate=30", failed=True), values=[(p(), "ScanRate", 30)],
      restart=PCI_A.instance,
      notes=[shared_with(1), not_accepted(1, 1, 256)]),
    S("driver/no-reply", lab(driver_knobs(NoReply=1)), ["set", "0", "-verbose=on"], CHANGED,
      driver=session("VerboseLog=1"), values=[(p(), "VerboseLog", 1)], restart=PCI_A.instance,
      notes=[shared_with(1), not_accepted(1, 1, 257)]),

    # A display name outside ASCII: the driver gets it in the ANSI code page.
    S("non-ascii/set-name", LAB, ["set", "0", "-name=Läbor Ω"], CHANGED,
      driver=session("device[Device0].Name=Läbor ?"),
      values=[(p("Device0"), "Name", "Läbor Ω")], restart=PCI_A.instance,
      notes=[received("Läbor ?")]),
    # A full-width colon must not reach the driver as the ':' that names may not hold.
    S("non-ascii/full-width-colon", LAB, ["set", "0", "-name=a\uff1ab"], CHANGED,
      driver=session("device[Device0].Name=a?b"), values=[(p("Device0"), "Name", "a\uff1ab")],
      restart=PCI_A.instance,
      notes=[received("a?b")]),
    S("non-ascii/enum", lab(name_a="Läbor Ω"), ["enum"],
      enum_report(("Läbor Ω", coms(3, 4, 5, 6)), ("Line controller", coms(7, 8, 9, 10))),
      unchanged=True),
    # In code page 932 each Japanese character takes two bytes: the driver's 79-byte field
    # holds "AB" and 38 of them, and never the first byte of the 39th.
    S("non-ascii/932-name-cut-by-whole-characters", lab(ansi_code_page("932")),
      ["set", "0", "-name=" + JAPANESE_NAME], CHANGED,
      driver=session(b"device[Device0].Name=" + JAPANESE_NAME[:40].encode("cp932")),
      values=[(p("Device0"), "Name", JAPANESE_NAME)], wine_only="code-page-932",
      notes=[received(JAPANESE_NAME[:40], 932)], restart=PCI_A.instance),
    # A machine whose ANSI code page is UTF-8: every character reaches the driver as itself.
    S("non-ascii/65001-name-as-utf-8", lab(ansi_code_page("65001")),
      ["set", "0", "-name=Läbor Ω"], CHANGED, driver=session("device[Device0].Name=Läbor Ω"),
      values=[(p("Device0"), "Name", "Läbor Ω")], restart=PCI_A.instance),

    # Control characters in a board name: refused on the command line, masked in reports.
    S("control/name-refused", LAB, ["set", "0", "-name=rack\x1b]0;x\x07"],
      invalid_at("-name=rack?]0;x?"), unchanged=True),
    S("control/stored-name-masked", lab(name_a=Raw(1, utf16z("Lab\x1b[2J\nfake"))), ["enum"],
      enum_report(("Lab?[2J?fake", coms(3, 4, 5, 6)), ("Line controller", coms(7, 8, 9, 10))),
      unchanged=True),

    S("non-ascii/65001-name-cut-by-whole-characters", lab(ansi_code_page("65001")),
      ["set", "0", "-name=" + "Ω" * 59], CHANGED,
      driver=session("device[Device0].Name=" + "Ω" * 39),
      values=[(p("Device0"), "Name", "Ω" * 59)], restart=PCI_A.instance,
      notes=[received("Ω" * 39, 65001)]),
    # Port nodes and the restart.
    S("nodes/absent-port-node-untouched",
      machine(decoy(), PCI_A_NODE3_ABSENT.reg, ISA_B.reg, service_key(), lab_store(),
              comdb(HELD)), ["set", "0", "-name=X"], CHANGED,
      driver=session("device[Device0].Name=X"),
      values=friendly(PCI_A, 2, "COM5")
      + [(node(PCI_A, 3), "FriendlyName", "Communications Port (COM6)")],
      restart=PCI_A.instance),
    S("nodes/port-node-without-hardware-key",
      without(lab(), node(PCI_A, 2) + "\\Device Parameters"), ["set", "COM5", "-portname=COM20"],
      CHANGED, driver=session("device[Device0].port[2].Name=COM20"),
      values=[(node(PCI_A, 2), "FriendlyName", "Norvane ZephynPort 2 (COM20)")],
      restart=PCI_A.instance,
      notes=[NOTE + "the device node of port 2 of board 0 was not updated (error 2)."]),
    S("nodes/restart-refused", lab(property_change(False)), ["set", "COM3", "-wait=on"], CHANGED,
      driver=session("device[Device0].port[0].WaitOnTx=1"),
      values=port_values("Device0\\Port0", WaitOnTx=1) + friendly(PCI_A, 0, "COM3"),
      stderr=r"ZPConfigUtil: the board could not be restarted[^\n]*\n"),
    # No settings stored: the ports have no COM names, so their nodes keep the system's.
    S("nodes/board-without-settings-keeps-port-names",
      machine(decoy(), PCI_A.reg, ISA_B.reg, service_key(), comdb(HELD),
              driver_knobs(Reply="OK: 52")), ["set", "1", "-scan=20"], CHANGED,
      driver=session("ScanRate=20"),
      values=[(p(), "ScanRate", 20), (p("Device1\\Port0"), "Name", "")]
      + untouched(ISA_B, coms(7, 8, 9, 10))
      + [(node(ISA_B, i) + "\\Device Parameters", "PortName", f"COM{7 + i}") for i in range(4)],
      restart=ISA_B.instance,
      notes=[shared_with(0)]),

    # What only the simulated machine shows.
    S("native/absent-board-not-listed", lab(ABSENT_C.reg), ["enum"], LAB_ENUM, unchanged=True,
      native_only="presence"),
    # A settings store that cannot take the change: refused before anything reaches the
    # driver, rather than reported as changed.
    S("native/read-only-settings-store",
      lab(read_only("SYSTEM\\CurrentControlSet\\Services\\ZephynPort\\Parameters")),
      ["set", "COM3", "-wait=on"], SET_USAGE, unchanged=True, native_only="read-only",
      stderr=r"ZPConfigUtil: access denied: the change needs administrator rights[^\n]*\n"),
    # Nor is a COM database that cannot be read: COM12 and COM14 would be handed out again.
    S("native/read-only-com-database",
      lab(read_only("SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter")),
      ["set", "0", "-start=COM11"], SET_USAGE, unchanged=True, native_only="read-only",
      stderr=r"ZPConfigUtil: access denied: the change needs administrator rights[^\n]*\n"),
    # The node id is read with read access only, so the board keeps its own key.
    S("native/read-only-board-software-key",
      lab(read_only("SYSTEM\\CurrentControlSet\\Control\\Class\\"
                    "{50906CB8-BA12-11D1-BF5D-0000F805F530}\\0001")), ["enum"], LAB_ENUM,
      unchanged=True, native_only="read-only"),
    S("native/broken-machine-file", "broken", ["enum"], "", 2, unchanged=True,
      native_only="exit-2", stderr=r"ZPConfigUtil: .*machine\.reg:4: .+\n"),
    S("native/default-machine-created", "default", ["get", "1"],
      board_report("ZephynPort", 8, "Line controller", "COM7", io=0x180),
      driver=port_count_query(1), native_only="default-machine"),
    S("native/unsupported-code-page", lab(ansi_code_page("932")), ["enum"], "", 2,
      unchanged=True, native_only="exit-2",
      stderr=r'ZPConfigUtil: .*machine\.reg: .*"932" is not simulated.*\n'),
    S("native/restart-needs-reboot", lab(device_manager(NeedsReboot=1)),
      ["set", "COM3", "-wait=on"], CHANGED, driver=session("device[Device0].port[0].WaitOnTx=1"),
      values=port_values("Device0\\Port0", WaitOnTx=1), restart=PCI_A.instance,
      native_only="restart",
      stderr=r"ZPConfigUtil: the change takes full effect after the computer restarts\.\n"),
    S("native/restart-outcome-unknown", lab(device_manager(InstallParams=0)),
      ["set", "COM3", "-wait=on"], CHANGED, driver=session("device[Device0].port[0].WaitOnTx=1"),
      restart=PCI_A.instance, native_only="restart",
      notes=[NOTE + "whether the board restarted cannot be told (error 13); check Device "
             "Manager."]),
    S("native/board-not-started", lab(device_manager(StartProblem=10)),
      ["set", "COM3", "-wait=on"], CHANGED, driver=session("device[Device0].port[0].WaitOnTx=1"),
      restart=PCI_A.instance, native_only="restart",
      notes=[NOTE + "the board did not start again after the restart (problem 10); check its "
             "settings and Device Manager."]),
    # Port nodes the user may not write: the change is made and the rights are asked for.
    S("native/read-only-port-nodes", lab(read_only(ENUM)), ["set", "COM3", "-wait=on"], CHANGED,
      driver=session("device[Device0].port[0].WaitOnTx=1"),
      values=port_values("Device0\\Port0", WaitOnTx=1), restart=PCI_A.instance,
      native_only="read-only",
      stderr=r"ZPConfigUtil: access denied: the change needs administrator rights[^\n]*\n"),

    # Two sets started at the same moment on one machine: one waits for the other, and
    # neither undoes the other's settings or COM numbers.
    *[S(f"concurrent/two-boards-renumbered/{i}", LAB, ["set", "0", "-start=COM90"], CHANGED,
        also=["set", "1", "-start=COM100"],
        driver=session(*[f"device[Device0].port[{j}].Name=COM{90 + j}" for j in range(4)])
        + session(*[f"device[Device1].port[{j}].Name=COM{100 + j}" for j in range(4)]),
        values=renamed(PCI_A, coms(90, 91, 92, 93)) + renamed(ISA_B, coms(100, 101, 102, 103))
        + [(p(f"Device{b}\\Port3"), "Name", f"COM{93 + 10 * b}") for b in (0, 1)]
        + held(1, 2, 12, 14, 90, 91, 92, 93, 100, 101, 102, 103),
        restart=[PCI_A.instance, ISA_B.instance]) for i in (1, 2, 3)],

    # Another run holds the machine: one that dies is waited for and taken over from; one
    # that does not end within 60 seconds makes the run give up before reading anything.
    S("run-mutex/waits-for-a-run-that-dies", LAB, ["set", "COM3", "-wait=on"], CHANGED,
      hold=3000,
      stderr=r"^ZPConfigUtil: waiting for another ZPConfigUtil run on this machine\.\r?$",
      driver=session("device[Device0].port[0].WaitOnTx=1"),
      values=port_values("Device0\\Port0", WaitOnTx=1), wine_only="run-mutex"),
    S("run-mutex/gives-up-after-60-seconds", LAB, ["set", "COM3", "-wait=on"], "", 2,
      hold=65000, unchanged=True, wine_only="run-mutex",
      stderr=r"^ZPConfigUtil: waiting for .*\r?\nZPConfigUtil: another ZPConfigUtil run on this "
             r"machine did not finish within 60 seconds\.\r?$"),

    # The Windows build with a console: its wide output to the console, standard error
    # included, and output redirected from a console in the console's code page.
    S("console/enum-to-the-console", lab(name_a="Läbor Ω 計測"), ["enum"],
      enum_report(("Läbor Ω 計測", coms(3, 4, 5, 6)), ("Line controller", coms(7, 8, 9, 10))),
      unchanged=True, console="terminal", wine_only="console"),
    S("console/set-with-a-note-to-the-console", LAB, ["set", "COM3", "-wait=on"],
      RESTART_FAILED + "\n" + CHANGED, driver=session("device[Device0].port[0].WaitOnTx=1"),
      values=port_values("Device0\\Port0", WaitOnTx=1), console="terminal", wine_only="console"),
    S("console/enum-redirected-in-code-page-850", lab(name_a="Läbor Ω"), ["enum"],
      enum_report(("Läbor Ω", coms(3, 4, 5, 6)), ("Line controller", coms(7, 8, 9, 10))),
      unchanged=True, console="850", wine_only="console"),

    # The 32-bit build on 64-bit Windows: refused before it reaches the machine; help
    # still answers.
    S("wow64/enum-refused", LAB, ["enum"], "", 2, unchanged=True, wow64=True,
      stderr=r"^ZPConfigUtil: this 32-bit build .*64-bit build\.\r?$"),
    S("wow64/help-answered", LAB, ["help", "get"], GET_USAGE, platform=False, unchanged=True,
      wow64=True),
]

# The broken machine: a REGEDIT4 file whose fourth line is no value.
BROKEN_MACHINE = b"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZephynSim]\r\n\"X\"=dword:zz\r\n"
