// Drives the scanner control from the Windows Script Host, a late-bound
// automation client of its own: create by ProgID, open the simulated device,
// claim, enable, scan a label through scaninject and check it.
// Argument: the path of scaninject.exe. Prints "script host: pass" or FAIL lines.
var failures = 0;
function check(what, ok) {
  if (!ok) { WScript.Echo("FAIL: " + what); failures++; }
}

var events = 0, seenLabel = "", seenType = -1, scanner, connected = true;
function Scanner_DataEvent(status) {
  events++;
  seenLabel = scanner.ScanDataLabel;
  seenType = scanner.ScanDataType;
}

try {
  scanner = WScript.CreateObject("OPOS.Scanner", "Scanner_");
} catch (e) {
  // This host cannot connect events (Wine's script host answers "not
  // supported"); the label is then checked from the queue instead.
  connected = false;
  scanner = new ActiveXObject("OPOS.Scanner");
}

var device = "QuillonSim";
var tool = WScript.Arguments(0);
if (tool.charAt(0) == "/") tool = "Z:" + tool.replace(/\//g, "\\");
var shell = new ActiveXObject("WScript.Shell");

check("Open", scanner.Open(device) == 0);
check("State idle", scanner.State == 2);
check("ClaimDevice", scanner.ClaimDevice(1000) == 0);
check("Claimed", scanner.Claimed == true);
scanner.DeviceEnabled = true;
check("DeviceEnabled", scanner.ResultCode == 0 && scanner.DeviceEnabled);
scanner.DecodeData = true;
scanner.DataEventEnabled = false;
scanner.ClearInput();
check("DataCount 0", scanner.DataCount == 0);
check("scaninject", shell.Run('"' + tool + '" ' + device + " label 104 4006381333931 ]E04006381333931", 0, true) == 0);

if (connected) {
  scanner.DataEventEnabled = true;
  for (var i = 0; i < 100 && events == 0; i++) WScript.Sleep(50);
  check("DataEvent received", events == 1);
  check("label", seenLabel == "4006381333931");
  check("type", seenType == 104);
} else {
  WScript.Echo("script host: no event connection in this host; checking the queued label");
  check("label queued", scanner.DataCount == 1);
}

// By-value arguments where by-reference ones are declared: the host passes its own variants.
check("DirectIO", scanner.DirectIO(1, 0, "") == 0);
check("CheckHealth", scanner.CheckHealth(1) == 0 && scanner.CheckHealthText == "Internal HCheck: Successful");
check("Release", scanner.ReleaseDevice() == 0);
check("Close", scanner.Close() == 0);
check("closed", scanner.State == 1 && scanner.Close() == 101);

if (failures == 0) WScript.Echo("script host: pass");
WScript.Quit(failures);
