"""Progress from the library to a Python callable, with no exception ever
crossing back into C."""


class ProgressRelay:
    """The library's progress callback. It runs on the thread that runs the
    operation (the caller's) and passes each value to the host's callable.
    When that callable raises, the exception is kept, the operation is asked
    to stop (as Archiver.stop() does, so the archive is closed early), no
    further value is passed on, and the caller raises the exception again
    once the library has returned."""

    def __init__(self, callback, stop):
        self._callback = callback
        self._stop = stop
        self._error = None

    def __call__(self, value, _user_data):
        if self._error is not None:
            return
        try:
            self._callback(value)
        except BaseException as error:  # KeyboardInterrupt too: it must not unwind through C
            self._error = error
            self._stop()

    def raise_kept(self):
        """Raises the exception the callable raised, if it did."""
        error, self._error = self._error, None
        if error is not None:
            raise error
