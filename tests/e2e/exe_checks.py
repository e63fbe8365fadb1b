"""Checks of the Windows executable itself: the DLLs it imports and its version resource.
Each check returns a list of problems, empty when all is well."""

import re
import struct
import subprocess

# Only system DLLs; a MinGW runtime DLL here would not be found on a user's machine.
ALLOWED_DLLS = {"kernel32.dll", "msvcrt.dll", "advapi32.dll", "setupapi.dll", "cfgmgr32.dll",
                "msports.dll", "user32.dll"}
# Where the calls must bind: configuration-manager calls to cfgmgr32.dll (as Windows
# exports them today), the COM port database to msports.dll.
BINDINGS = {"CM_": "cfgmgr32.dll", "ComDB": "msports.dll", "SetupDi": "setupapi.dll",
            "Reg(Open|Create|Set|Query|Delete|Close)": "advapi32.dll"}


def imports_of(exe):
    """{dll name lower-cased: [function names]} from the import table."""
    text = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(exe)], check=True,
                          capture_output=True, text=True).stdout
    imports, current = {}, None
    for line in text.splitlines():
        match = re.match(r"\s*DLL Name: (\S+)", line)
        if match:
            current = imports.setdefault(match.group(1).lower(), [])
            continue
        match = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\w+)$", line)
        if match and current is not None:
            current.append(match.group(1))
    return imports, text


def check_imports(exe, _root):
    imports, text = imports_of(exe)
    problems = [f"imports {dll}, which is no system DLL" for dll in imports
                if dll not in ALLOWED_DLLS]
    for dll, functions in imports.items():
        for function in functions:
            for prefix, home in BINDINGS.items():
                if re.match(prefix, function) and dll != home:
                    problems.append(f"{function} is imported from {dll}, not {home}")
    for prefix, home in BINDINGS.items():
        if not any(re.match(prefix, f) for f in imports.get(home, [])):
            problems.append(f"no {prefix} import from {home}")
    if "(Windows CUI)" not in text:
        problems.append("the executable is not a console program")
    return problems


def _resource_data(data, type_id):
    """The bytes of the first resource of a type, or None."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return None
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], \
        struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
    rsrc_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
             for i in range(sections)]

    def offset(rva):
        for virtual_size, address, raw_size, raw in table:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw + rva - address
        raise ValueError("address outside every section")

    base = offset(rsrc_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<HH", data, base + directory + 12)
        return [struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
                for i in range(named + ids)]

    level = [e for e in entries(0) if e[0] == type_id]
    if not level:
        return None
    for _ in range(2):  # name, then language: take the first of each
        if not level[0][1] & 0x80000000:
            return None
        level = entries(level[0][1] & 0x7FFFFFFF)
        if not level:
            return None
    rva, size = struct.unpack_from("<II", data, base + level[0][1])
    return data[offset(rva):offset(rva) + size]


def check_version_resource(exe, root):
    version = re.search(r"project\(ZPConfigUtil VERSION (\d+)\.(\d+)\.(\d+)",
                        (root / "CMakeLists.txt").read_text())
    if not version:
        return ["CMakeLists.txt names no project version"]
    major, minor, patch = (int(v) for v in version.groups())
    blob = _resource_data(exe.read_bytes(), 16)
    if blob is None:
        return ["the executable has no version resource"]
    problems = []
    at = blob.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return ["the version resource has no fixed file information"]
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", blob, at + 8)
    want = ((major << 16) | minor, patch << 16)
    if (file_ms, file_ls) != want or (product_ms, product_ls) != want:
        problems.append(f"fixed versions {file_ms:#x}.{file_ls:#x} / {product_ms:#x}."
                        f"{product_ls:#x}, expected {want[0]:#x}.{want[1]:#x}")
    text = blob[:len(blob) // 2 * 2].decode("utf-16-le", "replace")
    dotted = f"{major}.{minor}.{patch}"
    for key, value in [("ProductName", "ZPConfigUtil"), ("OriginalFilename", re.escape(exe.name)),
                       ("InternalName", "ZPConfigUtil"), ("FileVersion", dotted),
                       ("ProductVersion", dotted), ("FileDescription", "[^\0]+")]:
        if not re.search(f"{key}\0+{value}\0", text):
            problems.append(f"the version strings lack {key} = {value}")
    if not re.search("VarFileInfo\0[\\s\\S]{1,8}Translation\0", text):
        problems.append("the version resource has no translation table")
    identity = re.search(rb'<assemblyIdentity[^>]*\sversion="([^"]*)"',
                         _resource_data(exe.read_bytes(), 24) or b"")
    if not identity or identity.group(1) != f"{dotted}.0".encode():
        problems.append(f"the manifest's assembly version is not {dotted}.0 (four parts)")
    return problems
