"""Machine files for the end-to-end runs: registry exports built from small pieces, and
the reader that turns an export (a machine file after a native run, or the export that
the Wine runner collects) back into keys and values.

A piece is a Reg: key paths relative to HKEY_LOCAL_MACHINE, each with its values.
Python values stand for registry data: str is REG_SZ, int is REG_DWORD, and Multi, Hex,
Expand and Raw the other forms."""

import re

MULTIPORT_GUID = "{50906CB8-BA12-11D1-BF5D-0000F805F530}"
PORTS_GUID = "{4D36E978-E325-11CE-BFC1-08002BE10318}"
CCS = "SYSTEM\\CurrentControlSet"
SERVICE = CCS + "\\Services\\ZephynPort"
PARAMETERS = SERVICE + "\\Parameters"
EVENT_SOURCE = CCS + "\\Services\\EventLog\\System\\ZephynPort"
ARBITER = CCS + "\\Control\\COM Name Arbiter"
ENUM = CCS + "\\Enum"
CLASS = CCS + "\\Control\\Class"
KNOBS = "SOFTWARE\\ZephynSim"
NLS_CODE_PAGE = CCS + "\\Control\\Nls\\CodePage"

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7


class Multi(list):
    """REG_MULTI_SZ."""


class Hex(bytes):
    """REG_BINARY."""


class Expand(str):
    """REG_EXPAND_SZ."""


class Raw:
    """Any type with its raw bytes."""

    def __init__(self, type_, data):
        self.type, self.data = type_, bytes(data)


def utf16z(text):
    return text.encode("utf-16-le") + b"\0\0"


def encode(value):
    """(type, bytes) of a Python value."""
    if isinstance(value, Raw):
        return value.type, value.data
    if isinstance(value, Expand):
        return REG_EXPAND_SZ, utf16z(value)
    if isinstance(value, str):
        return REG_SZ, utf16z(value)
    if isinstance(value, bool) or not isinstance(value, (int, Multi, Hex)):
        raise TypeError(f"no registry form for {value!r}")
    if isinstance(value, int):
        return REG_DWORD, value.to_bytes(4, "little")
    if isinstance(value, Multi):
        return REG_MULTI_SZ, b"".join(utf16z(s) for s in value) + b"\0\0"
    return REG_BINARY, bytes(value)


class Reg:
    """Keys (paths below HKEY_LOCAL_MACHINE, in insertion order) and their values."""

    def __init__(self):
        self.keys = {}
        self.port_nodes = []  # instance ids of port device nodes, for the comparison

    def key(self, path, **values):
        self.keys.setdefault(path, {}).update(values)
        return self

    def merge(self, other):
        for path, values in other.keys.items():
            self.key(path, **values)
        self.port_nodes += other.port_nodes
        return self


def machine(*pieces):
    result = Reg()
    for piece in pieces:
        result.merge(piece)
    return result


def _quote(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def _value_line(name, value):
    type_, data = encode(value)
    left = "@" if name == "@" else _quote(name)
    if isinstance(value, str) and type_ == REG_SZ and "\0" not in value:
        return f"{left}={_quote(value)}"
    if type_ == REG_DWORD and len(data) == 4 and not isinstance(value, Raw):
        return f"{left}=dword:{value:08x}"
    form = "hex" if type_ == REG_BINARY else f"hex({type_:x})"
    return f"{left}={form}:" + ",".join(f"{b:02x}" for b in data)


def reg_text(reg):
    """The machine as Version 5.00 text (LF line ends)."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for path, values in reg.keys.items():
        lines.append(f"[HKEY_LOCAL_MACHINE\\{path}]")
        lines += [_value_line(name, value) for name, value in values.items()]
        lines.append("")
    return "\n".join(lines) + "\n"


def reg_file_bytes(reg):
    """The machine file as Windows and Wine import it: UTF-16LE with BOM, CR LF."""
    return b"\xff\xfe" + reg_text(reg).replace("\n", "\r\n").encode("utf-16-le")


# ---- Pieces ------------------------------------------------------------------------------


def decoy():
    """A multiport-serial device of another service that enumerates before every board
    (the Wine base prefix holds the same device, so both builds see it)."""
    path = ENUM + "\\ACPI\\ZPDECOY\\0"
    return (
        Reg()
        .key(path, ClassGUID=MULTIPORT_GUID, Class="MultiportSerial", Service="ZpDecoy",
             HardwareID=Multi(["ACPI\\ZPDECOY"]))
        .key(path + "\\Control")
    )


def alloc_config(io_base, length=8):
    """A CM_RESOURCE_LIST with one full descriptor holding one I/O port range."""
    partial = bytes([1, 1]) + (0x0005).to_bytes(2, "little")
    partial += io_base.to_bytes(8, "little") + length.to_bytes(4, "little") + bytes(4)
    full = (1).to_bytes(4, "little") + bytes(4) + (1).to_bytes(2, "little") * 2
    full += (1).to_bytes(4, "little") + partial
    return Raw(8, (1).to_bytes(4, "little") + full)


class Board:
    """A board's device node with its software key and its port device nodes.

    instance: the device instance id below Enum; ports: the COM names of its port nodes
    (PortName), each named "Communications Port (COMn)" until the program renames it."""

    def __init__(self, instance, hardware_id, *, ui=None, node_id=None, software, prefix,
                 ports=(), io_base=None, present=True, absent_ports=()):
        self.instance = instance
        self.prefix = prefix
        self.reg = Reg()
        path = f"{ENUM}\\{instance}"
        values = dict(ClassGUID=MULTIPORT_GUID, Class="MultiPortSerial", Service="ZephynPort",
                      HardwareID=Multi([hardware_id]), Mfg="Norvane",
                      Driver=f"{MULTIPORT_GUID}\\{software:04d}", ParentIdPrefix=prefix)
        if ui is not None:
            values["UINumber"] = ui
        self.reg.key(path, **values)
        if present:
            control = {} if io_base is None else {"AllocConfig": alloc_config(io_base)}
            self.reg.key(path + "\\Control", **control)
        self.reg.key(path + "\\Device Parameters")
        software_values = {} if node_id is None else {"NrvNodeId": node_id}
        self.reg.key(f"{CLASS}\\{MULTIPORT_GUID}\\{software:04d}", **software_values)
        for index, com in enumerate(ports):
            self._port_node(index, com, software * 100 + index, index not in absent_ports)

    def _port_node(self, index, com, software, present):
        node = self.port_node(index)
        path = f"{ENUM}\\{node}"
        self.reg.key(path, ClassGUID=PORTS_GUID, Class="Ports", Service="Serial",
                     Driver=f"{PORTS_GUID}\\{software:04d}",
                     FriendlyName=f"Communications Port ({com})")
        if present:
            self.reg.key(path + "\\Control")
        self.reg.key(path + "\\Device Parameters", PortName=com)
        self.reg.key(f"{CLASS}\\{PORTS_GUID}\\{software:04d}", MatchingDeviceId=f"nrvport{index}")
        self.reg.port_nodes.append(node)

    def port_node(self, index):
        return f"ZEPHYNPORT\\PORT\\{self.prefix}&{index:02d}"


def service_key():
    """The driver's service key as its installation leaves it."""
    return Reg().key(SERVICE, ErrorControl=0, Group="Extended Base",
                     ImagePath="System32\\Drivers\\zephyn.sys", Start=3, Tag=1, Type=1)


def store(params, **boards):
    """The settings store: Parameters values, then per board key name a pair of its values
    and a list of its ports' values."""
    reg = Reg().key(PARAMETERS, **params)
    for key_name, (board_values, ports) in boards.items():
        reg.key(f"{PARAMETERS}\\{key_name}", **board_values)
        for index, port_values in enumerate(ports):
            reg.key(f"{PARAMETERS}\\{key_name}\\Port{index}", **port_values)
    return reg


def comdb_bytes(numbers, size=32):
    data = bytearray(size)
    for n in numbers:
        data[(n - 1) // 8] |= 1 << ((n - 1) % 8)
    return Hex(data)


def comdb(numbers, size=32):
    return Reg().key(ARBITER, ComDB=comdb_bytes(numbers, size))


def driver_knobs(port_counts=None, **knobs):
    """The simulated driver: ControlDevice, FailExchange, Reply, NoReply; port counts by UI
    number."""
    reg = Reg().key(KNOBS + "\\Driver", **knobs)
    if port_counts:
        reg.key(KNOBS + "\\Driver\\PortCounts", **{str(ui): n for ui, n in port_counts.items()})
    return reg


def device_manager(**knobs):
    """The simulated device manager: PropertyChange, NeedsReboot, StartProblem, InstallParams."""
    return Reg().key(KNOBS + "\\DeviceManager", **knobs)


def property_change(allowed):
    return device_manager(PropertyChange=1 if allowed else 0)


def ansi_code_page(value):
    """The machine's ANSI code page, as Windows keeps it (text, "1252" when absent)."""
    return Reg().key(NLS_CODE_PAGE, ACP=value)


def read_only(*paths):
    return Reg().key(KNOBS + "\\Registry", ReadOnly=Multi(list(paths)))


# ---- Reading an export back --------------------------------------------------------------


def decode_reg(data):
    """The text of a .reg file in any of its three encodings."""
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le")
    if data.startswith(b"REGEDIT4"):
        return data.decode("cp1252")
    return data.decode("utf-8-sig")


_NAME = re.compile(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$')


def _unquote(text):
    # Wine's export writes a line feed in a string as \n.
    return re.sub(r"\\(.)", lambda m: "\n" if m.group(1) == "n" else m.group(1), text[1:-1])


def parse_reg(text):
    """{upper-cased key path below HKEY_LOCAL_MACHINE: (path, {upper-cased value name:
    (name, type, bytes)})}. Raises ValueError on a line of no known form."""
    keys, current = {}, None
    lines = iter(text.replace("\r\n", "\n").split("\n"))
    for line in lines:
        while line.endswith("\\") and not line.startswith("["):
            line = line[:-1] + next(lines, "").lstrip()
        if not line.strip() or line.startswith(";") or line.startswith("Windows Registry") \
                or line == "REGEDIT4":
            continue
        if line.startswith("["):
            path = line[1:-1].split("\\", 1)[1] if "\\" in line else ""
            current = keys.setdefault(path.upper(), (path, {}))[1]
            continue
        match = _NAME.match(line)
        if not match or current is None:
            raise ValueError(f"unreadable registry line: {line!r}")
        name = "" if match.group(1) == "@" else _unquote(match.group(1))
        data = match.group(2)
        if data.startswith('"'):
            value = (REG_SZ, utf16z(_unquote(data)))
        elif data.startswith("dword:"):
            value = (REG_DWORD, int(data[6:], 16).to_bytes(4, "little"))
        elif data.startswith("hex"):
            form, _, digits = data.partition(":")
            type_ = REG_BINARY if form == "hex" else int(form[4:-1], 16)
            value = (type_, bytes(int(b, 16) for b in digits.split(",") if b.strip()))
        elif data == "-":
            continue
        else:
            raise ValueError(f"unreadable registry value: {line!r}")
        current[name.upper()] = (name, *value)
    return keys
