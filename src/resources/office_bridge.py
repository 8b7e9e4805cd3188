import ctypes, os, signal, subprocess, sys, threading, time

def say(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()

try:
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.connection import NoConnectException
    from com.sun.star.uno import Exception as UnoException
except Exception as exc:
    say("error python3-uno is not available (%s)" % exc)
    sys.exit(1)

SOFFICE, PROFILE_URL, PIPE_NAME, OFFICE_TMP = sys.argv[1:5]
START_TIMEOUT = float(sys.argv[5])
CONVERT_TIMEOUT = float(sys.argv[6])

# Office helpers orphaned by a kill are re-parented to us and reaped here.
try:
    ctypes.CDLL(None, use_errno=True).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
except Exception:
    pass

def props(**kw):
    out = []
    for key, value in kw.items():
        p = PropertyValue()
        p.Name, p.Value = key, value
        out.append(p)
    return tuple(out)

def reap_all():
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            time.sleep(0.05)

class Office:
    def __init__(self):
        self.proc = None
        self.desktop = None
        self.killed = False

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def ended(self):
        # A call fails on the broken connection a moment before the process is gone.
        try:
            self.proc.wait(timeout=1)
            return True
        except subprocess.TimeoutExpired:
            return False

    def start(self):
        self.killed = False
        accept = "pipe,name=%s;urp;StarOffice.ComponentContext" % PIPE_NAME
        env = dict(os.environ, TMPDIR=OFFICE_TMP)
        self.proc = subprocess.Popen(
            [SOFFICE, "--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
             "--nolockcheck", "-env:UserInstallation=" + PROFILE_URL, "--accept=" + accept],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=env, start_new_session=True)
        say("office %d" % self.proc.pid)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + START_TIMEOUT
        while True:
            try:
                ctx = resolver.resolve("uno:" + accept)
                break
            except NoConnectException:
                if self.proc.poll() is not None:
                    code = self.proc.returncode
                    self.stop()
                    raise RuntimeError("the office exited at start (status %s)" % code)
                if time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError("the office did not answer within %g s" % START_TIMEOUT)
                time.sleep(0.1)
        self.desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)

    def kill(self):
        self.killed = True
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass

    def stop(self):
        if self.proc is None:
            return
        if self.desktop is not None and self.running():
            try:
                self.desktop.terminate()
            except Exception:
                pass
        self.desktop = None
        try:
            self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            pass
        self.kill()
        reap_all()
        self.proc = None

    def convert(self, src, dst):
        if not self.running():
            self.stop()
            self.start()
        timer = threading.Timer(CONVERT_TIMEOUT, self.kill)
        timer.start()
        try:
            doc = self.desktop.loadComponentFromURL(
                src, "_blank", 0,
                props(Hidden=True, ReadOnly=True, MacroExecutionMode=0, UpdateDocMode=0))
            if doc is None:
                raise RuntimeError("the office could not open the file")
            try:
                doc.storeToURL(dst, props(FilterName="HTML (StarWriter)", Overwrite=True))
            finally:
                try:
                    doc.close(True)
                except Exception:
                    pass
        finally:
            timer.cancel()
            if self.killed:
                self.stop()

def main():
    office = Office()
    try:
        office.start()
    except Exception as exc:
        say("error %s" % str(exc).replace("\n", " "))
        return 1
    say("ready")
    for raw in sys.stdin.buffer:
        words = raw.decode("utf-8", "replace").split()
        if not words:
            continue
        if words[0] == "quit":
            break
        if words[0] == "convert" and len(words) == 3:
            try:
                office.convert(words[1], words[2])
                say("ok")
            except Exception as exc:
                text = str(exc).replace("\n", " ")
                if office.killed:
                    say("timeout")
                elif isinstance(exc, UnoException) and office.ended():
                    say("died %s" % text)
                else:
                    say("error %s" % text)
        else:
            say("error unknown command")
    office.stop()
    say("bye")
    return 0

sys.exit(main())
