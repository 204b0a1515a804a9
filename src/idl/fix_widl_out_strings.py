#!/usr/bin/env python3
"""Repairs the stubless (-Oif) proxy code that widl 7.0/8.0 generates.

widl points the format-string entry of some [out] parameters that are pointers to string
pointers (LPWSTR *ppString, LPWSTR **ppDescriptions ...) one level too deep: at the FC_OP/FC_UP
descriptor of the string pointer instead of the FC_RP [allocated_on_stack] [pointer_deref]
descriptor of the parameter itself. NDR then marshals the wrong level and the client receives
NULL, garbage or 0x800703E6. An [out] parameter is always a reference pointer at its top level,
so every non-base-type [out] parameter whose type offset names anything other than an FC_RP
descriptor is re-pointed at the FC_RP descriptor that refers to that very offset.

The same widl over-skip hits [in, string, size_is(n)] arrays of strings (IOPCBrowse::
GetProperties' item ids): the parameter's offset lands 4 bytes inside the array descriptor, and
the server stub answers RPC_X_BAD_STUB_DATA. An [in] parameter whose offset is not the start of
any type descriptor is re-pointed at the array descriptor that starts 4 bytes earlier (where widl
points parameters of the same shape without [string], e.g. IOPCItemIO::Read's item ids).

Usage: fix_widl_out_strings.py IN_P_C OUT_P_C. Fails when a suspicious parameter has no FC_RP
descriptor to re-point to, so a future widl change cannot go unnoticed.
"""
import re
import sys

FC_RP = 0x11
ARRAY_KINDS = (0x1b, 0x1c, 0x21)  # FC_CARRAY, FC_CVARRAY, FC_BOGUS_ARRAY
PARAM_IN = 0x08
POINTER_KINDS = (0x11, 0x12, 0x13, 0x14)  # FC_RP, FC_UP, FC_OP, FC_FP
SIMPLE_POINTER = 0x08
POINTER_DEREF = 0x10
PARAM_OUT = 0x10
PARAM_BASE_TYPE = 0x40


def parse_type_entries(text):
    """Maps each commented type-format offset to its first byte, and each offset that a
    (non-simple) pointer descriptor refers to onto that descriptor: target -> (descriptor
    offset, pointer attributes)."""
    start = text.index("__MIDL_TypeFormatString =")
    body = text[start:]
    first_byte = {}
    pointer_to = {}
    # An offset comment stands alone at the start of its line; the comments after values on
    # the same line (`NdrFcShort(0x1c), /* 28 */`) are sizes and counts, not offsets.
    entry = re.compile(r"^/\*\s*(\d+)(?:\s*\([^\n]*?\))?\s*\*/\s*\n\s*(0x[0-9a-fA-F]+)"
                       r"(?:,\s*(0x[0-9a-fA-F]+),?\s*(?:/\*[^\n]*\*/)?\s*"
                       r"NdrFcShort\((0x[0-9a-fA-F]+)\))?", re.MULTILINE)
    for m in entry.finditer(body):
        offset = int(m.group(1))
        kind = int(m.group(2), 16)
        first_byte[offset] = kind
        if kind in POINTER_KINDS and m.group(3) and not int(m.group(3), 16) & SIMPLE_POINTER:
            delta = int(m.group(4), 16)
            if delta >= 0x8000:
                delta -= 0x10000
            pointer_to.setdefault(offset + 2 + delta, (offset, int(m.group(3), 16)))
    return first_byte, pointer_to


def reference_descriptor(offset, pointer_to):
    """Walks up the pointer chain from `offset` to the FC_RP [allocated_on_stack]
    [pointer_deref] descriptor of the parameter; None when there is none."""
    for _ in range(4):
        if offset not in pointer_to:
            return None
        offset, attributes = pointer_to[offset]
        if attributes & POINTER_DEREF:
            return offset
    return None


def main():
    src, dst = sys.argv[1], sys.argv[2]
    with open(src, encoding="utf-8") as f:
        text = f.read()
    first_byte, pointer_to = parse_type_entries(text)
    proc_end = text.index("__MIDL_TypeFormatString =")
    param = re.compile(
        r"(/\*\s*\d+\s*\(parameter (\w+)\)\s*\*/\s*\n"
        r"\s*NdrFcShort\((0x[0-9a-fA-F]+)\),[^\n]*\n"
        r"\s*NdrFcShort\(0x[0-9a-fA-F]+\),[^\n]*\n"
        r"\s*NdrFcShort\()(0x[0-9a-fA-F]+)(\),\s*/\*\s*type offset = )(\d+)")
    fixed = []
    errors = []

    def repoint(m):
        flags = int(m.group(3), 16)
        offset = int(m.group(6))
        if m.start() > proc_end or flags & PARAM_BASE_TYPE:
            return m.group(0)
        if not flags & PARAM_OUT:
            if not flags & PARAM_IN or offset in first_byte:
                return m.group(0)
            if first_byte.get(offset - 4) not in ARRAY_KINDS:
                errors.append(f"{m.group(2)}: [in] type offset {offset} is inside a descriptor")
                return m.group(0)
            fixed.append(f"{m.group(2)}: {offset} -> {offset - 4}")
            return f"{m.group(1)}0x{offset - 4:x}{m.group(5)}{offset - 4}"
        if first_byte.get(offset) == FC_RP:
            return m.group(0)
        target = reference_descriptor(offset, pointer_to)
        if target is None:
            errors.append(f"{m.group(2)}: [out] type offset {offset} is not FC_RP")
            return m.group(0)
        fixed.append(f"{m.group(2)}: {offset} -> {target}")
        return f"{m.group(1)}0x{target:x}{m.group(5)}{target}"

    text = param.sub(repoint, text)
    if errors:
        sys.exit("fix_widl_out_strings: " + "; ".join(errors))
    with open(dst, "w", encoding="utf-8") as f:
        f.write("/* Out-parameter type offsets re-pointed by fix_widl_out_strings.py: */\n")
        for line in fixed:
            f.write(f"/*   {line} */\n")
        f.write(text)


if __name__ == "__main__":
    main()
