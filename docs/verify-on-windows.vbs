' Checks the two databases Mirutone wrote, with Jet itself.
'
' Run on a Windows machine that has DAO 3.5 (any machine with Access 97 or the
' successor product installed), from a 32-bit command prompt:
'
'   %windir%\SysWOW64\cscript //nologo verify-on-windows.vbs C:\data\Ruzevuz.mdb C:\data\NVData.mdb
'
' For each file it lists every table with its fields, indexes and row count and
' every stored query with its SQL, its property names and the text kept with
' it. It looks each row up again through the table's primary key with Seek,
' runs each query (parameters given 1), compacts a copy of the file and lists
' the kept texts of the copy. Any error stops the script with Jet's number and
' text. Send the whole output back.
Option Explicit

Const dbOpenTable = 1
Const dbOpenSnapshot = 4
Const dbLangJapanese = ";LANGID=0x0411;CP=932;COUNTRY=0"

Dim engine, fso, i
Set fso = CreateObject("Scripting.FileSystemObject")
On Error Resume Next
Set engine = CreateObject("DAO.DBEngine.35")
If Err.Number <> 0 Then
  Err.Clear
  Set engine = CreateObject("DAO.DBEngine.36")
End If
If Err.Number <> 0 Then
  WScript.Echo "DAO 3.5 (or 3.6) is not installed: " & Err.Description
  WScript.Quit 2
End If
On Error GoTo 0
WScript.Echo "DAO version " & engine.Version

If WScript.Arguments.Count = 0 Then
  WScript.Echo "usage: cscript verify-on-windows.vbs FILE.mdb [FILE.mdb ...]"
  WScript.Quit 2
End If

For i = 0 To WScript.Arguments.Count - 1
  CheckDatabase WScript.Arguments(i)
Next
WScript.Echo "done"

Sub Fail(what)
  WScript.Echo "FAILED: " & what & ": error " & Err.Number & " " & Err.Description
  WScript.Quit 1
End Sub

Sub CheckDatabase(path)
  Dim db, td, fld, idx, qd, rs, n, line, prop
  WScript.Echo "== " & path
  On Error Resume Next
  Set db = engine.Workspaces(0).OpenDatabase(path, False, True)
  If Err.Number <> 0 Then Fail "OpenDatabase"
  WScript.Echo "version " & db.Version & ", collating order " & db.CollatingOrder
  For Each td In db.TableDefs
    If (td.Attributes And &H80000002) = 0 Then
      line = "table " & td.Name & ": " & td.RecordCount & " rows"
      WScript.Echo line
      For Each fld In td.Fields
        WScript.Echo "  field " & fld.Name & " type " & fld.Type & " size " & fld.Size & _
          " attributes " & fld.Attributes & " AllowZeroLength " & fld.AllowZeroLength & _
          " Required " & fld.Required
      Next
      For Each idx In td.Indexes
        line = "  index " & idx.Name & " primary " & idx.Primary & " unique " & idx.Unique & " fields"
        For Each fld In idx.Fields
          line = line & " " & fld.Name
        Next
        WScript.Echo line
        If idx.Primary Then SeekEveryRow db, td, idx
      Next
      If Err.Number <> 0 Then Fail "table " & td.Name
      Set rs = db.OpenRecordset(td.Name, dbOpenSnapshot)
      n = 0
      Do While Not rs.EOF
        n = n + 1
        rs.MoveNext
      Loop
      rs.Close
      If Err.Number <> 0 Then Fail "reading " & td.Name
      WScript.Echo "  rows read " & n
    End If
  Next
  For Each qd In db.QueryDefs
    WScript.Echo "query " & qd.Name & " type " & qd.Type
    WScript.Echo "  " & Replace(qd.SQL, vbCrLf, " ")
    ' Each name once: "SQL" must appear only as DAO's own property.
    line = "  properties"
    For Each prop In qd.Properties
      line = line & " " & prop.Name
    Next
    WScript.Echo line
    WScript.Echo "  kept text " & qd.Properties("MirutoneQueryText").Value
    If Err.Number <> 0 Then Fail "properties of query " & qd.Name
    For n = 0 To qd.Parameters.Count - 1
      qd.Parameters(n).Value = 1
    Next
    Set rs = qd.OpenRecordset(dbOpenSnapshot)
    If Err.Number <> 0 Then Fail "query " & qd.Name
    n = 0
    Do While Not rs.EOF
      n = n + 1
      rs.MoveNext
    Loop
    rs.Close
    WScript.Echo "  rows " & n
  Next
  db.Close
  Dim copy
  copy = path & ".compacted.mdb"
  If fso.FileExists(copy) Then fso.DeleteFile copy
  engine.CompactDatabase path, copy, dbLangJapanese
  If Err.Number <> 0 Then Fail "CompactDatabase"
  WScript.Echo "compacted to " & copy
  Set db = engine.Workspaces(0).OpenDatabase(copy, False, True)
  For Each qd In db.QueryDefs
    WScript.Echo "compacted query " & qd.Name & " kept text " & qd.Properties("MirutoneQueryText").Value
  Next
  db.Close
  If Err.Number <> 0 Then Fail "queries of the compacted copy"
  On Error GoTo 0
End Sub

' Opens the table directly and finds every row again through its primary key.
Sub SeekEveryRow(db, td, idx)
  Dim scan, look, keys(), k, n, found
  Set scan = db.OpenRecordset(td.Name, dbOpenSnapshot)
  Set look = db.OpenRecordset(td.Name, dbOpenTable)
  look.Index = idx.Name
  ReDim keys(idx.Fields.Count - 1)
  n = 0
  found = 0
  Do While Not scan.EOF
    For k = 0 To idx.Fields.Count - 1
      keys(k) = scan.Fields(idx.Fields(k).Name).Value
    Next
    Select Case idx.Fields.Count
      Case 1: look.Seek "=", keys(0)
      Case 2: look.Seek "=", keys(0), keys(1)
      Case Else: look.Seek "=", keys(0), keys(1), keys(2)
    End Select
    n = n + 1
    If Not look.NoMatch Then found = found + 1
    scan.MoveNext
  Loop
  scan.Close
  look.Close
  WScript.Echo "  seek through " & idx.Name & ": " & found & " of " & n & " rows found"
End Sub
