# A stand-in for UDisks2 on a private bus, for the tests of device access: it
# knows one device node, and its block object's OpenForBackup hands over a
# read-only descriptor of a disk image, answers with an error, or never answers.
#
#   udisks_stand_in.py BUS_ADDRESS DEVICE_NODE IMAGE ANSWER
#
# ANSWER is "open", "hang", or the D-Bus error name to answer with. Prints
# "ready" once it owns its name.
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

address, device_node, image, answer = sys.argv[1:5]
BLOCK = "/org/freedesktop/UDisks2/block_devices/loop7"
waiting = []  # the callers of a call that is never answered


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.UDisks2.Manager", in_signature="a{sv}a{sv}", out_signature="ao")
    def ResolveDevice(self, devspec, options):
        return dbus.Array([BLOCK] if devspec.get("path") == device_node else [], signature="o")


class Block(dbus.service.Object):
    @dbus.service.method("org.freedesktop.UDisks2.Block", in_signature="a{sv}", out_signature="h",
                         async_callbacks=("reply", "error"))
    def OpenForBackup(self, options, reply, error):
        if answer == "hang":
            waiting.append(reply)
        elif answer == "open":
            fd = os.open(image, os.O_RDONLY)
            handed = dbus.types.UnixFd(fd)  # holds a copy of its own
            os.close(fd)
            reply(handed)
        else:
            error(dbus.exceptions.DBusException("refused by the stand-in", name=answer))


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.bus.BusConnection(address)
manager = Manager(bus, "/org/freedesktop/UDisks2/Manager")
block = Block(bus, BLOCK)
name = dbus.service.BusName("org.freedesktop.UDisks2", bus)
print("ready", flush=True)
GLib.MainLoop().run()
