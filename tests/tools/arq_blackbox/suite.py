"""Every case in one namespace: unittest finds them all here, and a group is named on
the command line by its class alone (arq_blackbox.py --arq ... DamagedTest), as when
the suite was one file."""

import importlib
import os
import pkgutil
import unittest


def _groups():
    """The case classes of every test_ module. Gathered rather than listed, so that a
    group added to a test_ module cannot be left out; and in a function, so that no
    loop variable is left behind in this namespace for unittest to run twice."""
    found = {}
    for module_info in pkgutil.iter_modules([os.path.dirname(__file__)]):
        if module_info.name.startswith("test_"):
            module = importlib.import_module("." + module_info.name, __package__)
            found.update({name: value for name, value in vars(module).items()
                          if isinstance(value, type) and issubclass(value, unittest.TestCase)
                          and value.__module__ == module.__name__})
    return found


globals().update(_groups())
