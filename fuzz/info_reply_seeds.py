#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_info_reply: the replies a real Firebird
server gives to the information calls the database layer parses, byte for
byte as the client library hands them over.

    fuzz/info_reply_seeds.py DATABASE [SERVER]

DATABASE is a database the KELVARO account can open through SERVER
(default 127.0.0.1), for example a company database the tests create. The
replies are cut after their end marker (the rest of the buffer stays
zero); each file name says what was asked.
"""
import ctypes
import pathlib
import sys

USER, PASSWORD = b"KELVARO", b"83527146"
OUT = pathlib.Path(__file__).resolve().parent / "corpus" / "info_reply"

# ibase.h
isc_spb_version, isc_spb_current_version = 2, 2
isc_spb_user_name, isc_spb_password = 28, 29
isc_dpb_version1, isc_dpb_user_name, isc_dpb_password, isc_dpb_lc_ctype = 1, 28, 29, 48
isc_info_svc_server_version, isc_info_svc_implementation, isc_info_svc_version = 55, 56, 54
isc_info_sql_stmt_type = 21

fb = ctypes.CDLL("libfbclient.so.2")
Status = ctypes.c_long * 20
Handle = ctypes.c_uint


def check(status, what):
    if status[0] == 1 and status[1]:
        sys.exit(f"{what} failed: isc code {status[1]}")


def block(*parts):
    return b"".join(parts)


def string_item(tag, value):
    return bytes([tag, len(value)]) + value


def save(name, reply):
    OUT.mkdir(parents=True, exist_ok=True)
    (OUT / name).write_bytes(reply.rstrip(b"\0"))
    print(name, (OUT / name).stat().st_size, "bytes")


def services(server):
    status, handle = Status(), Handle(0)
    spb = block(bytes([isc_spb_version, isc_spb_current_version]), string_item(isc_spb_user_name, USER),
                string_item(isc_spb_password, PASSWORD))
    name = server + b":service_mgr"
    fb.isc_service_attach(status, len(name), name, ctypes.byref(handle), len(spb), spb)
    check(status, "service attach")
    three = bytes([isc_info_svc_server_version, isc_info_svc_implementation, isc_info_svc_version])
    # (name, items, buffer size): the layer's own query, then other orders,
    # and buffers too small for the text, which the client marks truncated.
    asks = [
        ("svc_three_items", three, 4096),
        ("svc_three_items_truncated", three, 24),
        ("svc_server_version", bytes([isc_info_svc_server_version]), 4096),
        ("svc_version_first", bytes([isc_info_svc_version, isc_info_svc_server_version]), 4096),
        ("svc_version_first_truncated", bytes([isc_info_svc_version, isc_info_svc_server_version]), 24),
    ]
    for label, items, size in asks:
        answer = ctypes.create_string_buffer(size)
        fb.isc_service_query(status, ctypes.byref(handle), None, 0, None, len(items), items, size, answer)
        check(status, "service query")
        save(label, answer.raw)
    fb.isc_service_detach(status, ctypes.byref(handle))


def statements(server, database):
    status, db, tr = Status(), Handle(0), Handle(0)
    dpb = block(bytes([isc_dpb_version1]), string_item(isc_dpb_user_name, USER),
                string_item(isc_dpb_password, PASSWORD), string_item(isc_dpb_lc_ctype, b"ISO8859_1"))
    name = server + b":" + database
    fb.isc_attach_database(status, len(name), name, ctypes.byref(db), len(dpb), dpb)
    check(status, "attach")
    fb.isc_start_transaction(status, ctypes.byref(tr), 1, ctypes.byref(db), 0, None)
    check(status, "start transaction")
    sqls = {
        "stmt_select": b"SELECT sval FROM ConnectionControl WHERE id = ?",
        "stmt_insert": b"INSERT INTO Users (username, lastcheck) VALUES (?, 'Now')",
        "stmt_update": b"UPDATE Users SET lastcheck = 'Now' WHERE username = ?",
        "stmt_delete": b"DELETE FROM Users WHERE lastcheck < ?",
        "stmt_procedure": b"EXECUTE PROCEDURE GET_SERVER_TIME",
        "stmt_select_for_update": b"SELECT username FROM Users FOR UPDATE",
    }
    for label, sql in sqls.items():
        stmt = Handle(0)
        fb.isc_dsql_allocate_statement(status, ctypes.byref(db), ctypes.byref(stmt))
        check(status, "allocate")
        fb.isc_dsql_prepare(status, ctypes.byref(tr), ctypes.byref(stmt), 0, sql, 3, None)
        check(status, "prepare " + label)
        answer = ctypes.create_string_buffer(16)  # the size the layer gives
        item = bytes([isc_info_sql_stmt_type])
        fb.isc_dsql_sql_info(status, ctypes.byref(stmt), 1, item, 16, answer)
        check(status, "sql info")
        save(label, answer.raw)
        fb.isc_dsql_free_statement(status, ctypes.byref(stmt), 2)
    fb.isc_rollback_transaction(status, ctypes.byref(tr))
    fb.isc_detach_database(status, ctypes.byref(db))


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    server = (sys.argv[2] if len(sys.argv) > 2 else "127.0.0.1").encode()
    services(server)
    statements(server, sys.argv[1].encode())
