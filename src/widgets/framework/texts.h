// Texts of the component library's dialogs, menus and information captions,
// one compiled-in string table. The ids run in blocks of 16 from the top:
// the i-th text has id 65520 - 16 * (i / 16) + i % 16.
#pragma once

#include <string>

namespace kyd::widgets {

constexpr int DUDStringId(int index) { return 65520 - 16 * (index / 16) + index % 16; }

inline constexpr int IDS_PATH = DUDStringId(0);
inline constexpr int IDS_ON = DUDStringId(1);
inline constexpr int IDS_OFF = DUDStringId(2);
inline constexpr int IDS_ADDSECTION = DUDStringId(3);
inline constexpr int IDS_DELSECTION = DUDStringId(4);
inline constexpr int IDS_RENSECTION = DUDStringId(5);
inline constexpr int IDS_ADDITEM = DUDStringId(6);
inline constexpr int IDS_DELITEM = DUDStringId(7);
inline constexpr int IDS_RENITEM = DUDStringId(8);
inline constexpr int IDS_SMALLICONS = DUDStringId(9);
inline constexpr int IDS_LARGEICONS = DUDStringId(10);
inline constexpr int IDS_CALCAPTION = DUDStringId(11);
inline constexpr int IDS_ACTUALDATE = DUDStringId(12);
inline constexpr int IDS_INSERT = DUDStringId(13);
inline constexpr int IDS_COPY = DUDStringId(14);
inline constexpr int IDS_CUT = DUDStringId(15);
inline constexpr int IDS_UNDO = DUDStringId(16);
inline constexpr int IDS_SELECTALL = DUDStringId(17);
inline constexpr int IDS_DELETE = DUDStringId(18);
inline constexpr int IDS_SEARCH = DUDStringId(19);
inline constexpr int IDS_SEARCHMSG1 = DUDStringId(20);
inline constexpr int IDS_SEARCHMSG2 = DUDStringId(21);
inline constexpr int IDS_REPLACE = DUDStringId(22);
inline constexpr int IDS_WORDWRAP = DUDStringId(23);
inline constexpr int IDS_LINED = DUDStringId(24);
inline constexpr int IDS_REDO = DUDStringId(25);
inline constexpr int IDS_FONT = DUDStringId(26);
inline constexpr int IDS_CLEAR = DUDStringId(27);
inline constexpr int IDS_ALIGNLEFT = DUDStringId(28);
inline constexpr int IDS_ALIGNRIGHT = DUDStringId(29);
inline constexpr int IDS_ALIGNCENTER = DUDStringId(30);
inline constexpr int IDS_STATISTICS = DUDStringId(31);
inline constexpr int IDS_OPEN = DUDStringId(32);
inline constexpr int IDS_SAVE = DUDStringId(33);
inline constexpr int IDS_PRINT = DUDStringId(34);
inline constexpr int IDS_PAGE = DUDStringId(35);
inline constexpr int IDS_EDIT = DUDStringId(36);
inline constexpr int IDS_MUSTSHOWONE = DUDStringId(37);
inline constexpr int IDS_INVALIDOWNER = DUDStringId(38);
inline constexpr int IDS_INTERVALNOTFIT = DUDStringId(39);
inline constexpr int IDS_NEXT = DUDStringId(40);
inline constexpr int IDS_BACK = DUDStringId(41);
inline constexpr int IDS_FINISH = DUDStringId(42);
inline constexpr int IDS_HELP = DUDStringId(43);
inline constexpr int IDS_CLOSE = DUDStringId(44);
inline constexpr int IDS_CANCEL = DUDStringId(45);
inline constexpr int IDS_PROPERTYNOTUSED = DUDStringId(46);
inline constexpr int IDS_CLEARLIST = DUDStringId(47);
inline constexpr int IDS_CLEARLISTHINT = DUDStringId(48);
inline constexpr int IDS_CLEARLISTREQUEST = DUDStringId(49);
inline constexpr int IDS_ALREADYSTARTED = DUDStringId(50);
inline constexpr int IDS_AboutInfo = DUDStringId(51);
inline constexpr int IDS_AboutAvailMemory = DUDStringId(52);
inline constexpr int IDS_AboutSysRes = DUDStringId(53);
inline constexpr int IDS_AboutCompatible = DUDStringId(54);
inline constexpr int IDS_AboutPlatform = DUDStringId(55);
inline constexpr int IDS_FREE = DUDStringId(56);
inline constexpr int IDS_DIRCAPTION = DUDStringId(57);
inline constexpr int IDS_DIRDRIVE = DUDStringId(58);
inline constexpr int IDS_DIRPATH = DUDStringId(59);
inline constexpr int IDS_NEWPATH = DUDStringId(60);
inline constexpr int IDS_TIPERROR = DUDStringId(61);
inline constexpr int IDS_SHOWATSTART = DUDStringId(62);
inline constexpr int IDS_TIPNEXT = DUDStringId(63);
inline constexpr int IDS_TIPPREV = DUDStringId(64);
inline constexpr int IDS_WLCAPTION = DUDStringId(65);
inline constexpr int IDS_WLDESC = DUDStringId(66);
inline constexpr int IDS_DONTSHOWAGAIN = DUDStringId(67);
inline constexpr int IDS_INPUTCAPTION = DUDStringId(68);
inline constexpr int IDS_TEXTEDITORCAPTION = DUDStringId(69);
inline constexpr int IDS_FILE = DUDStringId(70);
inline constexpr int IDS_NOROOTDIR = DUDStringId(71);
inline constexpr int IDS_REMOVABLE = DUDStringId(72);
inline constexpr int IDS_FIXEDDRIVE = DUDStringId(73);
inline constexpr int IDS_REMOTE = DUDStringId(74);
inline constexpr int IDS_CDROM = DUDStringId(75);
inline constexpr int IDS_RAMDISK = DUDStringId(76);
inline constexpr int IDS_USERNAME = DUDStringId(77);
inline constexpr int IDS_WINDOWSDIR = DUDStringId(78);
inline constexpr int IDS_CURRDIR = DUDStringId(79);
inline constexpr int IDS_FREESPACE = DUDStringId(80);
inline constexpr int IDS_DISKSIZE = DUDStringId(81);
inline constexpr int IDS_SYSTEMDIR = DUDStringId(82);
inline constexpr int IDS_REGISTEREDOWNER = DUDStringId(83);
inline constexpr int IDS_REGISTEREDCOMPANY = DUDStringId(84);
inline constexpr int IDS_VERSION = DUDStringId(85);
inline constexpr int IDS_COLORDEPTH = DUDStringId(86);
inline constexpr int IDS_SCREENSAVERDELAY = DUDStringId(87);
inline constexpr int IDS_MEMORYSIZE = DUDStringId(88);
inline constexpr int IDS_FREESYSTEMRESOURCES = DUDStringId(89);
inline constexpr int IDS_FREEGDIRES = DUDStringId(90);
inline constexpr int IDS_FREEUSERRES = DUDStringId(91);
inline constexpr int IDS_COMPUTERNAME = DUDStringId(92);
inline constexpr int IDS_MAJORVERSION = DUDStringId(93);
inline constexpr int IDS_BUILD = DUDStringId(94);
inline constexpr int IDS_MEMORYLOADED = DUDStringId(95);
inline constexpr int IDS_MEMORYFREE = DUDStringId(96);
inline constexpr int IDS_MEMORYFREEPAGES = DUDStringId(97);
inline constexpr int IDS_MEMORYTOTALPAGES = DUDStringId(98);
inline constexpr int IDS_MEMORYVIRTUALFREE = DUDStringId(99);
inline constexpr int IDS_MEMORYVIRTUALTOTAL = DUDStringId(100);
inline constexpr int IDS_PLATFORMID = DUDStringId(101);
inline constexpr int IDS_PLATFORM = DUDStringId(102);
inline constexpr int IDS_PROCESSORNUMBER = DUDStringId(103);
inline constexpr int IDS_PROCESSOR = DUDStringId(104);
inline constexpr int IDS_TEMPPATH = DUDStringId(105);
inline constexpr int IDS_DOSVERSION = DUDStringId(106);
inline constexpr int IDS_NUMLOCK = DUDStringId(107);
inline constexpr int IDS_CAPSLOCK = DUDStringId(108);
inline constexpr int IDS_SCROLL = DUDStringId(109);
inline constexpr int IDS_DATETIME = DUDStringId(110);
inline constexpr int IDS_COMPANYNAME = DUDStringId(111);
inline constexpr int IDS_PRODUCTNAME = DUDStringId(112);
inline constexpr int IDS_PRODUCTVERSION = DUDStringId(113);
inline constexpr int IDS_LEGALCOPYRIGHT = DUDStringId(114);
inline constexpr int IDS_TRADEMARK = DUDStringId(115);
inline constexpr int IDS_FILEDESCRIPTION = DUDStringId(116);
inline constexpr int IDS_COMMENTS = DUDStringId(117);
inline constexpr int IDS_CPUSPEED = DUDStringId(118);

inline constexpr int kDUDStringCount = 119;

// The text of a string-table id; empty for an id not in the table.
std::string DUDLoadStr(int id);

} // namespace kyd::widgets
