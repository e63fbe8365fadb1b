"""What the program prints and what reaches its driver, written out for the scenario
table: the usage texts and messages exactly as printed, the three report layouts, and
the driver's event-log lines."""

GENERAL_USAGE = "\n".join([
    "USAGE:",
    "ZPConfigUtil <command> <device> <arg>....",
    "<command> :   The command that you want to run (see below).",
    "<device>  :   The device name that is managed.",
    "<arg>...  :   The arguments for the command.",
    "For help on a specific command, type: ZPConfigUtil help <command>.",
    "",
    "command:",
    "  enum   :   Enumerate all Vexa devices in the box.",
    "  get    :   Display the current settings of the board/port.",
    "  set    :   Set options of device.",
    "  help   :   Show the help message.",
    "",
]) + "\n"

SET_USAGE = "\n".join([
    "USAGE:",
    "ZPConfigUtil set <board device> {[-name][-start]{[-verbose][-scan]",
    "                                 [-RS485]|[-default]}}",
    "Set a board device. ",
    "  -name       Board name.",
    '              e.g. -name="ZN #1".',
    "  -start      Start COM port. ",
    "              e.g. -start=COM3. ",
    "              The value must be less than COM4096.",
    "  -verbose={on|off}      Verbose event log.",
    "  -scan                  Scan Rate(ms).",
    "                         e.g. -scan=10.",
    "  -RS485={on|off}        Enable RS-485 options for all devices of this adaptor.",
    "                         (NOTE: External RS-232 to RS-485 converters may be ",
    "                         required when standard ports are used in RS-485 mode).",
    "  -default               Reset all settings of the board to default values.",
    "                         (verbose=off, scan=10, RS485=off).",
    "",
    "ZPConfigUtil set <port device> {{[-portname][-baudrate][-timeout][-CD]",
    "                                 [-stopbits][-wait][-ring][-pnp] ",
    "                                 [-toggle][-low]}|-default} [-allports]}",
    "Set a port device. ",
    "  -portname   Change port name.",
    '              e.g. -portname="COM#".',
    "              The value must be less than COM4096.",
    "  The following 2 options are only available for -RS485=on.",
    "    -toggle={on|off}    Override and lock to RS-485 toggle mode.",
    "    -low={on|off}       RS-485 toggle RTS low.",
    "  -baudrate             Override and lock baud rate to the fixed value.",
    "                        e.g. -baudrate=NONE or -baudrate=115200.",
    "  -timeout              Timeout on transmit data on port close (sec).",
    "                        e.g. -timeout=0.",
    "  -CD={on|off}          Map CD to DSR.",
    "  -stopbits={on|off}    Map 2 stop bits to 1.",
    "  -wait={on|off}        Wait on physical transmission before completing write.",
    "  -ring={on|off}        Emulate modem hardware RING signal.",
    "  -blockpnp={on|off}    Block PnP search for attached serial device.",
    "  -default              Reset all settings of the port to default values.",
    "                        (baudrate=0, timeout=0, CD=off, stopbits=off, wait=off,",
    "                        ring=off, blockpnp=off, toggle=off, low=off).",
    "                        This option cannot be mixed with the above arguments. ",
    "  -allports             Apply all the settings to all ports.",
    "",
]) + "\n"

GET_USAGE = ("USAGE:\nZPConfigUtil get <device>\n\n"
             "Display the current settings of the board/port. \n\n")
ENUM_USAGE = "USAGE:\nZPConfigUtil enum\n\nEnumerate all Vexa devices on the box.\n\n"

NO_DEVICE = "No device is attached to this mechine! \n"
CHANGED = "setting is changed.\n"
UNKNOWN_DEVICE = "unknown device!\n"
INVALID_GET = "Invalid argument(s)! \n" + GET_USAGE
BOARD_CONFLICT = "There are one or more board arguments conflict with -default.\n"
PORT_CONFLICT = "There are one or more port arguments conflict with -default.\n"
NO_RS485 = "The RS-485 mode is not available.\n"


def invalid_at(argument):
    return f"Invalid argument at {argument}! \n" + SET_USAGE


def on_off(flag):
    return "on" if flag else "off"


def board_report(model, ports, name, start, *, io=None, scan=10, verbose=False, rs485=False):
    """`get` of a board; io is the ISA base address, None for a PCI board."""
    lines = [
        "Board settins:",
        f"    Summary                                : {model} - {ports}  "
        + ("PCI" if io is None else "ISA"),
        f"    Display Name                           : {name}",
    ]
    if io is not None:
        lines.append(f"    I/O Base Address                       : {io:#x}")
    lines += [
        f"    Starting COM Port                      : {start}",
        f"    Scan Rate (ms)                         : {scan}",
        f"    Verbose Event Log                      : {on_off(verbose)}",
        f"    Enable RS-485 Options for All Devices  : {on_off(rs485)}",
        "",
    ]
    return "\n".join(lines) + "\n"


def port_report(com, *, baud=0, timeout=0, cd=False, stopbits=False, wait=False, ring=False,
                blockpnp=False, rs485=None):
    """`get` of a port; rs485 is (toggle, low) when the RS-485 options are on."""
    lines = [f"COM name                                               : {com}"]
    if rs485 is not None:
        lines += [
            f"  Override and lock to RS-485 toggle mode              : {on_off(rs485[0])}",
            f"  RS-485 Toggle RTS Low                                : {on_off(rs485[1])}",
        ]
    lines += [
        f"Override and lock baud rate to                         : {baud or 'none'}",
        f"Timeout on transmit data on port close                 : {timeout} sec",
        f"Map CD to DSR                                          : {on_off(cd)}",
        f"Map 2 stop bits to 1                                   : {on_off(stopbits)}",
        f"Wait on physical transmission before completing write  : {on_off(wait)}",
        f"Emulate modem hardware RING signal                     : {on_off(ring)}",
        f"Block Plug-N-Play search for attached serial device    : {on_off(blockpnp)}",
        "",
    ]
    return "\n".join(lines) + "\n"


def enum_report(*boards):
    """`enum`; each board is (display name, [COM names]), device ids counted from 0."""
    lines = []
    for index, (name, coms) in enumerate(boards):
        lines += ["=" * 42, f"device ID    : {index}", f"display name : {name}"]
        lines += [f"  Norvane ZephynPort {i:02d}        {com[:7]} " for i, com in enumerate(coms)]
        lines.append("")
    return "".join(line + "\n" for line in lines)


# ---- Driver lines ------------------------------------------------------------------------

OPEN = "open \\\\.\\zephyn"
CLOSE = "close \\\\.\\zephyn"


def _quoted(text):
    """Text as the log quotes it; bytes (a command in a code page that the log does not
    decode) with each byte above ASCII as \\xHH."""
    raw = isinstance(text, bytes)
    out = []
    for ch in text.decode("latin-1") if raw else text:
        if ch in '"\\':
            out.append("\\" + ch)
        elif ord(ch) < 0x20 or ord(ch) == 0x7F or (raw and ord(ch) > 0x7F):
            out.append(f"\\x{ord(ch):02X}")
        else:
            out.append(ch)
    return '"' + "".join(out) + '"'


def command(text, failed=False):
    line = f"ioctl 0x1B2010 in=184 out=184 type=14 text={_quoted(text)}"
    return line + " failed" if failed else line


def query(ui, failed=False):
    line = f"ioctl 0x1B2010 in=40 out=40 type=20 ui={ui}"
    return line + " failed" if failed else line


def session(*commands, failed=False):
    """One apply run's channel: open, one exchange per command text, close."""
    return [OPEN, *(command(c, failed) for c in commands), CLOSE]


def port_count_query(ui, failed=False):
    return [OPEN, query(ui, failed), CLOSE]
