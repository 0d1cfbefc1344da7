#!/usr/bin/python3
# A stand-in for the desktop portal's Email interface on the test's own session bus. Each
# ComposeEmail call is written to LOG as lines: "parent=..", "option=<key>" for every option,
# the texts and address lists, and "attachment=<hex of the bytes read> <rdonly|writable>" for
# every descriptor. READY is created once the name is owned. MODE "refuse" answers with an error.
import fcntl
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

log, ready = sys.argv[1], sys.argv[2]
mode = sys.argv[3] if len(sys.argv) > 3 else "accept"
EMAIL = "org.freedesktop.portal.Email"


class Portal(dbus.service.Object):
    @dbus.service.method(EMAIL, in_signature="sa{sv}", out_signature="o")
    def ComposeEmail(self, parent, options):
        if mode == "refuse":
            raise dbus.exceptions.DBusException("no mail client", name="org.freedesktop.portal.Error.Failed")
        lines = ["parent=" + str(parent)]
        lines += ["option=" + str(key) for key in sorted(options)]
        for key in ("subject", "body", "address"):
            if key in options:
                lines.append(key + "=" + str(options[key]))
        for key in ("addresses", "cc", "bcc"):
            if key in options:
                lines.append(key + "=" + ",".join(str(a) for a in options[key]))
        for handle in options.get("attachment_fds", []):
            fd = handle.take()
            access = fcntl.fcntl(fd, fcntl.F_GETFL) & os.O_ACCMODE
            with os.fdopen(fd, "rb") as attachment:
                data = attachment.read()
            lines.append("attachment=" + data.hex() + (" rdonly" if access == os.O_RDONLY else " writable"))
        with open(log + ".part", "w") as out:
            out.write("\n".join(lines) + "\n")
        os.rename(log + ".part", log)
        return dbus.ObjectPath("/org/freedesktop/portal/desktop/request/1_1/kerris")

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == EMAIL and name == "version":
            return dbus.UInt32(3, variant_level=1)
        raise dbus.exceptions.DBusException(name="org.freedesktop.DBus.Error.UnknownProperty")


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
portal = Portal(bus, "/org/freedesktop/portal/desktop")
open(ready, "w").close()
GLib.MainLoop().run()
