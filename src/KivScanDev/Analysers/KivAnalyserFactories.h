// Factories of the file-format analysers. Each returns a new object owned by the caller
// (the analyser registry), or nullptr when the analyser is not available in this build.
#pragma once

class IRawFileAnalyser;

IRawFileAnalyser* CreateFile3DSAnalyser();
IRawFileAnalyser* CreateFile3GPAnalyser();
IRawFileAnalyser* CreateFileASFAnalyser();
IRawFileAnalyser* CreateFileAUAnalyser();
IRawFileAnalyser* CreateFileBMPAnalyser();
IRawFileAnalyser* CreateFileCABAnalyser();
IRawFileAnalyser* CreateFileCHMAnalyser();
IRawFileAnalyser* CreateFileCPTAnalyser();
IRawFileAnalyser* CreateFileCRWAnalyser();
IRawFileAnalyser* CreateFileDBXAnalyser();
IRawFileAnalyser* CreateFileDWGAnalyser();
IRawFileAnalyser* CreateFileDXFAnalyser();
IRawFileAnalyser* CreateFileEMFAnalyser();
IRawFileAnalyser* CreateFileEPSAnalyser();
IRawFileAnalyser* CreateFileFH11Analyser();
IRawFileAnalyser* CreateFileGIFAnalyser();
IRawFileAnalyser* CreateFileGZAnalyser();
IRawFileAnalyser* CreateFileHLPAnalyser();
IRawFileAnalyser* CreateFileHTMAnalyser();
IRawFileAnalyser* CreateFileUnicodeHTMAnalyser();
IRawFileAnalyser* CreateFileICOAnalyser();
IRawFileAnalyser* CreateFileJPGAnalyser();
IRawFileAnalyser* CreateFileLowDocAnalyser();
IRawFileAnalyser* CreateFileLZHAnalyser();
IRawFileAnalyser* CreateFileMDBAnalyser();
IRawFileAnalyser* CreateFileMIDAnalyser();
IRawFileAnalyser* CreateFileMNYAnalyser();
IRawFileAnalyser* CreateFileMOVAnalyser();
IRawFileAnalyser* CreateFileMP3Analyser();
IRawFileAnalyser* CreateFileMP4Analyser();
IRawFileAnalyser* CreateFileOLEAnalyser();
IRawFileAnalyser* CreateFileONEAnalyser();
IRawFileAnalyser* CreateFilePDFAnalyser();
IRawFileAnalyser* CreateFilePNGAnalyser();
IRawFileAnalyser* CreateFilePSDAnalyser();
IRawFileAnalyser* CreateFilePSPAnalyser();
IRawFileAnalyser* CreateFilePSTAnalyser();
IRawFileAnalyser* CreateFileRARAnalyser();
IRawFileAnalyser* CreateFileRIFFAnalyser();
IRawFileAnalyser* CreateFileRTFAnalyser();
IRawFileAnalyser* CreateFileSWFAnalyser();
IRawFileAnalyser* CreateFileTARAnalyser();
IRawFileAnalyser* CreateFileTIFAnalyser();
IRawFileAnalyser* CreateFileTTFAnalyser();
IRawFileAnalyser* CreateFileWMFAnalyser();
IRawFileAnalyser* CreateFileWPDAnalyser();
IRawFileAnalyser* CreateFileZIPAnalyser();
IRawFileAnalyser* CreateFile7ZAnalyser();
IRawFileAnalyser* CreateFileBZ2Analyser();
IRawFileAnalyser* CreateFileCR3Analyser();
IRawFileAnalyser* CreateFileFLACAnalyser();
IRawFileAnalyser* CreateFileHEIFAnalyser();
IRawFileAnalyser* CreateFileMKVAnalyser();
IRawFileAnalyser* CreateFileOGGAnalyser();
IRawFileAnalyser* CreateFileRAFAnalyser();
IRawFileAnalyser* CreateFileSQLiteAnalyser();
IRawFileAnalyser* CreateFileXZAnalyser();

// Analyser of the user-defined headers (implemented with the RAW scanner).
IRawFileAnalyser* CreateCustomFileAnalyser();
