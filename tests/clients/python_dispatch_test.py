"""The Python binding driving MVComm.MVComm: values both ways, refusals,
and a terminal on mvcomm-sim over a pseudo-terminal.

Run by ctest with MVCOMM_MVOLE, MVCOMM_MODULE and MVCOMM_SIM set and the
binding's folder on PYTHONPATH.
"""

import ctypes
import datetime
import os
import select
import shutil
import subprocess
import tempfile
import unittest

import mvcomm_automation as ma


class PythonDispatch(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="mvcomm-py-")
        os.environ["MVCOMM_REGISTRY"] = os.path.join(cls.folder, "registry.db")
        os.environ["MVCOMM_SIMULATE_TODAY"] = "2026-03-15"
        module = ctypes.CDLL(os.environ["MVCOMM_MODULE"])
        assert module.DllRegisterServer() == 0

    @classmethod
    def tearDownClass(cls):
        ma.free_unused_libraries()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_values_round_trip_through_idispatch(self):
        with ma.Dispatch("MVComm.MVComm") as comm:
            comm.commport = 3
            comm.BAUTRATE = 4800  # names ignore case
            comm.receivedatatimelapse = 250
            self.assertEqual((comm.commport, comm.bautrate, comm.receivedatatimelapse), (3, 4800, 250))
            self.assertEqual(comm.errorcode, 0)
            self.assertEqual(comm.errormessage, "")
            comm.rtbeginwrite(2)
            comm.rtwriterecord(2, 42, "4200")  # text coerced to the declared integer
            comm.moverecord(2, 2)
            self.assertEqual((comm.errorcode, comm.rtemployeeid, comm.rtcardid), (0, 42, 4200))
            comm.moverecord(1, 2)  # a method known as one: called without the property try
            self.assertEqual((comm.errorcode, comm.rtemployeeid, comm.rtcardid), (0, 0, 0))
            self.assertIsInstance(comm.rscardedtime, datetime.datetime)

    def test_refusals_raise_with_the_hresult(self):
        cases = [
            ("put on a read-only property", lambda c: setattr(c, "errorcode", 1), 0x80020003),
            ("unknown member", lambda c: c.nosuchmember, 0x80020006),
            ("wrong argument count", lambda c: c.readdata("5", datetime.date(2002, 10, 27)), 0x8002000E),
            ("value out of range", lambda c: setattr(c, "commport", 70000), 0x8002000A),
        ]
        with ma.Dispatch("MVComm.MVComm") as comm:
            for what, action, expected in cases:
                with self.subTest(what):
                    with self.assertRaises(ma.AutomationError) as caught:
                        action(comm)
                    self.assertEqual(caught.exception.hresult & 0xFFFFFFFF, expected)
            # A terminal error is no failed call: it shows only in errorcode.
            comm.cleardata("abc")
            self.assertEqual(comm.errorcode, 20016)
        with self.assertRaises(ma.AutomationError) as caught:
            ma.Dispatch("No.Such.Class")
        self.assertEqual(ma.hresult_name(caught.exception.hresult), "CO_E_CLASSSTRING")
        # After close, names already known (a property, a method) fail as an unknown one does.
        for what, action in [("known property", lambda c: c.errorcode), ("known method", lambda c: c.cleardata("1")),
                             ("put", lambda c: setattr(c, "commport", 2)), ("new name", lambda c: c.rtcardid)]:
            with self.subTest("after close: " + what):
                with self.assertRaises(ma.AutomationError) as caught:
                    action(comm)
                self.assertEqual(ma.hresult_name(caught.exception.hresult), "E_POINTER")

    def test_dates_survive_the_trip(self):
        for moment in [datetime.datetime(2002, 10, 27, 13, 45, 10), datetime.datetime(1899, 12, 29, 6, 0),
                       datetime.datetime(1899, 12, 30), datetime.datetime(9999, 12, 31, 23, 59, 59)]:
            with self.subTest(str(moment)):
                self.assertEqual(ma._datetime_from_date(ma._date_from_datetime(moment)), moment)
        self.assertEqual(ma._date_from_datetime(datetime.datetime(1899, 12, 29, 6, 0)), -1.25)

    def test_a_terminal_on_the_simulator(self):
        sim = subprocess.Popen([os.environ["MVCOMM_SIM"], "--terminal", "1:new"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            ready, _, _ = select.select([sim.stdout], [], [], 10)
            self.assertTrue(ready, "mvcomm-sim printed no path")
            os.environ["MVCOMM_COM1"] = sim.stdout.readline().decode().strip()
            with ma.Dispatch("MVComm.MVComm") as comm:
                comm.commport = 1
                comm.bautrate = 9600
                comm.receivedatatimelapse = 200
                comm.readdata("1", datetime.datetime(2026, 3, 9), datetime.datetime(2026, 3, 15))
                self.assertEqual(comm.errorcode, 0, comm.errormessage)
                self.assertGreater(comm.rsrows, 0)
                comm.moverecord(1, 1)
                when = comm.rscardedtime
                self.assertIsInstance(when, datetime.datetime)
                self.assertTrue(datetime.datetime(2026, 3, 9) <= when < datetime.datetime(2026, 3, 16))
                self.assertIn(comm.rsworkclass, [str(n) for n in range(1, 9)])
        finally:
            sim.terminate()
            sim.wait(10)
            os.environ.pop("MVCOMM_COM1", None)


if __name__ == "__main__":
    unittest.main()
