# Prints, as JSON, what a screen reader sees of one program: its windows and their controls over
# the accessibility bus. Runs under Debian's python3 with gir1.2-atspi-2.0.
#
# usage: accessible_tree.py PID [ROLE NAME]: with a role and a name, clicks the first such control
# (its first action) and prints whether there was one.

import json
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# The web engine's content is its own program's business; its tree can be large.
SKIPPED = {"document web", "internal frame", "embedded"}
STATES = {"checked": Atspi.StateType.CHECKED, "focused": Atspi.StateType.FOCUSED,
          "showing": Atspi.StateType.SHOWING, "focusable": Atspi.StateType.FOCUSABLE}


def node(accessible, depth=0):
    role, states, text = accessible.get_role_name(), accessible.get_state_set(), accessible.get_text_iface()
    entry = {"role": role, "name": accessible.get_name() or "", "description": accessible.get_description() or "",
             "states": [name for name, state in STATES.items() if states.contains(state)]}
    if text is not None:
        entry["text"] = text.get_text(0, text.get_character_count())
    for relation in accessible.get_relation_set() or []:
        if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY:
            entry["relations"] = {"labelled-by": [relation.get_target(i).get_name()
                                                  for i in range(relation.get_n_targets())]}
    if role not in SKIPPED and depth < 30:
        entry["children"] = [node(accessible.get_child_at_index(i), depth + 1)
                             for i in range(accessible.get_child_count())]
    return entry


def click(accessible, role, name):
    if accessible.get_role_name() == role and accessible.get_name() == name:
        return accessible.get_action_iface().do_action(0)
    return accessible.get_role_name() not in SKIPPED and any(
        click(accessible.get_child_at_index(i), role, name) for i in range(accessible.get_child_count()))


def application(pid):
    desktop = Atspi.get_desktop(0)
    for found in map(desktop.get_child_at_index, range(desktop.get_child_count())):
        try:
            if found is not None and found.get_process_id() == pid:
                return found
        except GLib.Error:
            continue  # an application that went away while listed
    return None


if __name__ == "__main__":
    found, control = application(int(sys.argv[1])), sys.argv[2:]
    print(json.dumps(click(found, *control) if control else found and node(found)))
