"""The tool with its standard streams in the test's hands: a conversation over pipes,
answered as it asks, and a run on a pseudo-terminal, where it shows what it keeps from
pipes."""

import os
import pty
import select
import subprocess
import time

from .runner import settings, Run


class Conversation:
    """The tool running with its standard input and error in the test's hands."""

    def __init__(self, test, args, env):
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
        self.test = test
        self.process = subprocess.Popen(settings.arq + list(args), cwd=test.dir, env=full_env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.err = b""
        self.seen = 0

    def wait_for(self, text, limit=120):
        """Reads standard error until text appears behind what was waited for before.
        The limit only ends a run that hangs."""
        wanted = text.encode("latin-1")
        deadline = time.monotonic() + limit
        while True:
            at = self.err.find(wanted, self.seen)
            if at >= 0:
                self.seen = at + len(wanted)
                return
            left = deadline - time.monotonic()
            if left <= 0 or not self._read(left):
                self.process.kill()
                self.test.fail("no %r from the tool; it wrote:\n%s" % (text, self.err.decode("latin-1")))

    def _read(self, timeout):
        ready, _, _ = select.select([self.process.stderr], [], [], timeout)
        if not ready:
            return False
        chunk = os.read(self.process.stderr.fileno(), 4096)
        self.err += chunk
        return bool(chunk)

    def send(self, data):
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def finish(self):
        self.process.stdin.close()
        out = self.process.stdout.read()
        rest = self.process.stderr.read()
        code = self.process.wait(timeout=120)
        return Run(code, out, self.err + rest)


def run_on_terminal(test, *args):
    """Runs the tool with standard error (and output) on a pseudo-terminal."""
    master, slave = pty.openpty()
    p = subprocess.Popen(settings.arq + list(args), cwd=test.dir, stdin=subprocess.DEVNULL, stdout=slave,
                         stderr=slave)
    os.close(slave)
    data = b""
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:
            break
        if not chunk:
            break
        data += chunk
    os.close(master)
    return p.wait(timeout=600), data.decode("latin-1")
