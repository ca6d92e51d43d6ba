# SPDX-License-Identifier: MIT
# Read by CTest after the discovered tests of zel_transport_tests, by their names as CTest lists
# them; CTest passes over a name it does not know, so a renamed test is renamed here too.
set_tests_properties(
  ConnectionLimits.AFrameMustArriveWithinItsTimeFromItsFirstByteAndIdleOnesAreClosed
  DaemonEntry.RunsAsInstalledAndStopsCleanlyOnSigterm
  "Scripts/ProxyConnection.SendsEachRequestAtMostOnce/ReplyAwaitedForItsLimit  # GetParam() = ReplyAwaitedForItsLimit"
  PROPERTIES LABELS "transport;realtime")
