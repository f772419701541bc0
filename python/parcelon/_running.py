"""Running one call into the library so that Python stays in charge.

The call runs on a worker thread of its own while the calling thread waits
for it in short steps. So:

- Ctrl-C is seen within a fraction of a second whatever the library is
  doing: the calling thread is in Python, not inside C. While a call runs on
  the main thread, SIGINT (when it would raise KeyboardInterrupt, Python's
  default) is taken by a handler that only asks the library to stop; once
  the library has returned (its archive closed, as a stop leaves it), the
  call raises KeyboardInterrupt. An exception that another handler raises
  while the caller waits is treated the same way: stop, wait, raise.
- The progress callable runs on the calling thread, never inside the
  library's callback: that callback only hands the value over and waits
  until the callable is done, so the library goes on at the callable's pace
  and stops before its next step when the callable raises.
- The worker takes none of the process's signals (POSIX), so that they reach
  the main thread and no system call inside the library is interrupted.

The worker is always waited for: nothing the call uses is released while
the library may still use it."""

from __future__ import annotations

import queue
import signal
import threading
from types import FrameType
from typing import Any, Callable, Optional

from . import _library

# How long the calling thread waits at a time: the longest a signal handler
# waits to run (Windows delivers Ctrl-C to Python only between waits).
_STEP = 0.05

Progress = Callable[[int], Any]

# Signals that the system raises in the thread that caused them; the worker
# keeps them, the others go to the main thread.
_SYNCHRONOUS = {getattr(signal, name) for name in ("SIGSEGV", "SIGBUS", "SIGFPE", "SIGILL", "SIGTRAP", "SIGABRT",
                                                    "SIGSYS") if hasattr(signal, name)}


class _Done:
    """The worker's last message: the call's result, or what it raised."""

    def __init__(self, result: int, error: Optional[BaseException]) -> None:
        self.result = result
        self.error = error


class _Call:
    """One call: the worker thread, the progress hand-over, the stop."""

    def __init__(self, call: Callable[[], int], stop: Callable[[], None], progress: Optional[Progress]) -> None:
        self._call = call
        self._stop = stop
        self._progress = progress
        self._messages: "queue.SimpleQueue[Any]" = queue.SimpleQueue()  # values and the _Done, from the worker
        self._handed = threading.Semaphore(0)  # the caller is done with a value
        self._stopping = False  # no value is passed on any more
        self._last = -1  # the last percentage passed on
        self.kept: Optional[BaseException] = None  # raised by the callable, or while waiting
        self.interrupted = False  # Ctrl-C was pressed during the call

    # ------------------------------------------------------------ the worker
    def _on_progress(self, value: int, _user_data: Any) -> None:
        """The library's callback, on the worker thread: no host code runs
        here, and nothing here raises."""
        if self._stopping:
            return
        self._messages.put(value)
        while not self._handed.acquire(timeout=_STEP):
            if self._stopping:
                return

    def _work(self) -> None:
        if hasattr(signal, "pthread_sigmask"):
            signal.pthread_sigmask(signal.SIG_BLOCK, signal.valid_signals() - _SYNCHRONOUS)
        result, error = 0, None
        try:
            result = self._call()
        except BaseException as raised:  # a ctypes argument error, say: raised again on the caller's thread
            error = raised
        self._messages.put(_Done(result, error))

    # ------------------------------------------------------------ the caller
    def request_stop(self) -> None:
        """Stops passing values on and asks the library to stop. Takes no
        lock: it may run inside a signal handler on the caller's thread."""
        self._stopping = True
        self._stop()

    def _keep(self, error: BaseException) -> None:
        if self.kept is None:
            self.kept = error
        self.request_stop()

    def _pass_on(self, value: int) -> None:
        """Hands a value to the callable: percentages only, each once, in
        order (the library's 999 and repeated 100 are its own signals)."""
        if self._progress is None or self._stopping or not self._last < value <= 100:
            return
        self._last = value
        try:
            self._progress(value)
        except BaseException as error:  # KeyboardInterrupt too: the library is stopped, then it is raised
            self._keep(error)

    def _on_interrupt(self, _signal: int, _frame: Optional[FrameType]) -> None:
        self.interrupted = True
        self.request_stop()

    def run(self, install_progress: Callable[[Any], None]) -> int:
        """Runs the call; returns its result once the library has returned.
        Raises what the callable raised, or KeyboardInterrupt after a
        Ctrl-C."""
        # Without a callable the library's values are not asked for at all.
        function = _library.ProgressFunction(self._on_progress) if self._progress is not None else None
        handler = _InterruptHandler(self._on_interrupt)
        worker = threading.Thread(target=self._work, name="parcelon call", daemon=True)
        done: Optional[_Done] = None
        try:
            install_progress(function)
            handler.install()
            worker.start()
            while done is None:
                try:
                    message = self._messages.get(timeout=_STEP)
                    if isinstance(message, _Done):
                        done = message
                    else:
                        self._pass_on(message)
                        self._handed.release()
                except queue.Empty:
                    pass
                except BaseException as error:  # raised by a host's signal handler while waiting
                    self._keep(error)
                    self._handed.release()
        finally:
            # Reached before the worker's end only by an exception raised
            # between the steps above: the library is stopped and waited for
            # all the same. (After its end, a stop would outlast the call.)
            while worker.is_alive():
                try:
                    if done is None:
                        self.request_stop()
                    worker.join(_STEP)
                except BaseException as error:
                    self._keep(error)
            handler.remove()
            install_progress(None)
        assert done is not None
        if done.error is not None:
            raise done.error
        if self.kept is not None:
            raise self.kept
        if self.interrupted:
            raise KeyboardInterrupt
        return done.result


class _InterruptHandler:
    """Ctrl-C as a stop request while a call runs on the main thread, where
    SIGINT raises KeyboardInterrupt (Python's default handler). A host that
    installed a handler of its own keeps it."""

    def __init__(self, on_interrupt: Callable[[int, Optional[FrameType]], None]) -> None:
        self._handler = on_interrupt
        self._previous: Any = None

    def install(self) -> None:
        if threading.current_thread() is not threading.main_thread():
            return
        try:
            current = signal.getsignal(signal.SIGINT)
        except ValueError:  # not the main interpreter
            return
        if current is signal.default_int_handler:
            signal.signal(signal.SIGINT, self._handler)
            self._previous = current

    def remove(self) -> None:
        if self._previous is not None and signal.getsignal(signal.SIGINT) == self._handler:
            signal.signal(signal.SIGINT, self._previous)
        self._previous = None


def run(call: Callable[[], int], stop: Callable[[], None], progress: Optional[Progress],
        install_progress: Callable[[Any], None]) -> int:
    """Runs call() on a worker thread (see the module's
    comment); stop() asks the library to stop, from any thread, taking no
    lock; install_progress(function or None) sets the library's callback
    before and removes it after. Returns the call's result."""
    return _Call(call, stop, progress).run(install_progress)
