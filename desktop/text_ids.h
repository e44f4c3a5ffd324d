// Numbers of the desktop's user texts: every caption, menu item, column head, status word,
// message text and message title, and the names of its pictures. The texts live in
// resources/strings-en.tsv and resources/strings-zh_TW.tsv (one "id<TAB>text" line each),
// read by texts.h; 13001-13099 are messages of this port's own. The tables' test checks
// that every number and picture here is in both tables once.
#pragma once
#include <array>

namespace qm::text {

inline constexpr int kTitleProduct = 100;
inline constexpr int kTitleEdition = 101;
inline constexpr int kTitleMaker = 102;
inline constexpr int kTitleVersion = 103;
inline constexpr int kMenuFile = 1001;
inline constexpr int kMenuWizard = 1002;
inline constexpr int kMenuIndex = 1003;
inline constexpr int kMenuOpen = 1004;
inline constexpr int kMenuSave = 1005;
inline constexpr int kMenuBrowser = 1006;
inline constexpr int kMenuPrint = 1007;
inline constexpr int kMenuClose = 1008;
inline constexpr int kMenuAddFolder = 1009;
inline constexpr int kMenuDelFolder = 1010;
inline constexpr int kMenuRename = 1011;
inline constexpr int kMenuProperty = 1012;
inline constexpr int kMenuEdit = 1101;
inline constexpr int kMenuCopy = 1102;
inline constexpr int kMenuPaste = 1103;
inline constexpr int kMenuDelete = 1104;
inline constexpr int kMenuSelectAll = 1105;
inline constexpr int kMenuView = 1201;
inline constexpr int kMenuDocument = 1202;
inline constexpr int kMenuLayout = 1203;
inline constexpr int kMenuPreview = 1204;
inline constexpr int kMenuShowBrief = 1205;
inline constexpr int kMenuShowFull = 1206;
inline constexpr int kMenuSort = 1207;
inline constexpr int kMenuSortName = 1208;
inline constexpr int kMenuSortTimes = 1209;
inline constexpr int kMenuSortTitle = 1210;
inline constexpr int kMenuSortDate = 1211;
inline constexpr int kMenuPath = 1212;
inline constexpr int kMenuSize = 1213;
inline constexpr int kMenuAuthor = 1214;
inline constexpr int kMenuType = 1215;
inline constexpr int kMenuSender = 1216;
inline constexpr int kMenuReceiver = 1217;
inline constexpr int kMenuAscending = 1218;
inline constexpr int kMenuDescending = 1219;
inline constexpr int kMenuSearch = 1301;
inline constexpr int kMenuSearcher = 1302;
inline constexpr int kMenuSearchAdv = 1303;
inline constexpr int kMenuHomophone = 1304;
inline constexpr int kMenuFault = 1305;
inline constexpr int kMenuClearHistory = 1307;
inline constexpr int kMenuTools = 1308;
inline constexpr int kMenuWebSearch = 1309;
inline constexpr int kMenuOptions = 1310;
inline constexpr int kMenuBookmark = 1311;
inline constexpr int kMenuAddBookmark = 1312;
inline constexpr int kMenuEditBookmarks = 1313;
inline constexpr int kMenuHelp = 1401;
inline constexpr int kMenuContents = 1402;
inline constexpr int kMenuVesprin = 1403;
inline constexpr int kMenuService = 1404;
inline constexpr int kMenuProduct = 1405;
inline constexpr int kMenuOnline = 1406;
inline constexpr int kMenuHome = 1407;
inline constexpr int kMenuAbout = 1408;
inline constexpr int kPopOpenFile = 1409;
inline constexpr int kPopFullText = 1410;
inline constexpr int kPopShowBrief = 1411;
inline constexpr int kPopShowFull = 1412;
inline constexpr int kPopCopy = 1413;
inline constexpr int kPopSelectAll = 1414;
inline constexpr int kPopAddFolder = 1415;
inline constexpr int kPopDelFolder = 1416;
inline constexpr int kPopRename = 1417;
inline constexpr int kPopProperty = 1419;
inline constexpr int kNewFolderName = 1420;
inline constexpr int kAskDeleteFolder = 1421;
inline constexpr int kAskDeleteDatabase = 1422;
inline constexpr int kBadFolderName = 1423;
inline constexpr int kMenuUpdate = 1425;
inline constexpr int kToolWizard = 1501;
inline constexpr int kToolIndex = 1502;
inline constexpr int kToolSearchAdv = 1503;
inline constexpr int kToolHelp = 1505;
inline constexpr int kLabelInput = 1601;
inline constexpr int kButtonSearch = 1602;
inline constexpr int kCheckHomophone = 1607;
inline constexpr int kCheckFault = 1608;
inline constexpr int kCheckLexical = 1609;
inline constexpr int kTreeHead = 1610;
inline constexpr int kTreeCaption = 1611;
inline constexpr int kColumnNumber = 1613;
inline constexpr int kColumnName = 1614;
inline constexpr int kColumnTimes = 1615;
inline constexpr int kColumnTitle = 1616;
inline constexpr int kColumnDate = 1617;
inline constexpr int kStatusReady = 1618;
inline constexpr int kStatusHits = 1619;
inline constexpr int kEnvCaption = 1701;
inline constexpr int kEnvDbName = 1703;
inline constexpr int kEnvHtmlDir = 1704;
inline constexpr int kEnvIndexDir = 1705;
inline constexpr int kEnvTypes = 1706;
inline constexpr int kEnvRebuild = 1714;
inline constexpr int kEnvColumnName = 1715;
inline constexpr int kEnvColumnTime = 1716;
inline constexpr int kEnvColumnStatus = 1717;
inline constexpr int kEnvOther = 1718;
inline constexpr int kEnvAttach = 1719;
inline constexpr int kLayoutCaption = 1801;
inline constexpr int kLayoutGroup = 1802;
inline constexpr int kLayoutLabel1 = 1803;
inline constexpr int kLayoutLabel2 = 1804;
inline constexpr int kLayoutToolBar = 1805;
inline constexpr int kLayoutTree = 1806;
inline constexpr int kLayoutList = 1807;
inline constexpr int kLayoutPreview = 1808;
inline constexpr int kAdvCaption = 1901;
inline constexpr int kAdvString = 1902;
inline constexpr int kAdvOperatorAnd = 1903;
inline constexpr int kAdvOperatorOr = 1904;
inline constexpr int kAdvOperatorNot = 1905;
inline constexpr int kWizardCaption = 2001;
inline constexpr int kWizardText2002 = 2002;
inline constexpr int kWizardText2003 = 2003;
inline constexpr int kWizardText2004 = 2004;
inline constexpr int kWizardText2005 = 2005;
inline constexpr int kWizardText2006 = 2006;
inline constexpr int kWizardText2007 = 2007;
inline constexpr int kWizardText2008 = 2008;
inline constexpr int kWizardText2009 = 2009;
inline constexpr int kWizardText2010 = 2010;
inline constexpr int kWizardText2011 = 2011;
inline constexpr int kWizardText2012 = 2012;
inline constexpr int kWizardText2013 = 2013;
inline constexpr int kWizardText2014 = 2014;
inline constexpr int kWizardText2015 = 2015;
inline constexpr int kWizardText2016 = 2016;
inline constexpr int kWizardText2017 = 2017;
inline constexpr int kWizardText2018 = 2018;
inline constexpr int kWizardText2019 = 2019;
inline constexpr int kWizardText2020 = 2020;
inline constexpr int kWizardText2021 = 2021;
inline constexpr int kWizardText2022 = 2022;
inline constexpr int kWizardText2023 = 2023;
inline constexpr int kWizardText2024 = 2024;
inline constexpr int kWizardText2025 = 2025;
inline constexpr int kWizardText2026 = 2026;
inline constexpr int kWizardText2027 = 2027;
inline constexpr int kWizardText2028 = 2028;
inline constexpr int kWizardText2029 = 2029;
inline constexpr int kWizardText2030 = 2030;
inline constexpr int kWizardNext = 2031;
inline constexpr int kWizardPrevious = 2032;
inline constexpr int kWizardFinish = 2033;
inline constexpr int kWizardText2034 = 2034;
inline constexpr int kWizardText2035 = 2035;
inline constexpr int kWizardText2036 = 2036;
inline constexpr int kWizardText2037 = 2037;
inline constexpr int kWizardText2038 = 2038;
inline constexpr int kWizardText2039 = 2039;
inline constexpr int kWizardText2040 = 2040;
inline constexpr int kWizardText2041 = 2041;
inline constexpr int kWizardText2042 = 2042;
inline constexpr int kWizardText2043 = 2043;
inline constexpr int kWizardText2044 = 2044;
inline constexpr int kWizardText2045 = 2045;
inline constexpr int kWizardText2046 = 2046;
inline constexpr int kWizardText2047 = 2047;
inline constexpr int kTextExtCaption = 6001;
inline constexpr int kTextExtLabel = 6002;
inline constexpr int kButtonOk = 7001;
inline constexpr int kButtonCancel = 7002;
inline constexpr int kButtonAdd = 7004;
inline constexpr int kButtonRemove = 7005;
inline constexpr int kButtonApply = 7007;
inline constexpr int kBuildQueued = 8001;
inline constexpr int kBuildBuilding = 8002;
inline constexpr int kBuildBuilt = 8003;
inline constexpr int kBuildFailed = 8005;
inline constexpr int kBuildStopped = 8006;
inline constexpr int kCaptionError = 9001;
inline constexpr int kCaptionInformation = 9002;
inline constexpr int kMsgNoConfiguration = 9005;
inline constexpr int kMsgDatabaseAdded = 9006;
inline constexpr int kMsgDatabaseChanged = 9007;
inline constexpr int kAskRemoveDatabase = 9008;
inline constexpr int kCaptionQuestion = 9009;
inline constexpr int kMsgDatabaseRemoved = 9010;
inline constexpr int kMsgNameEmpty = 9011;
inline constexpr int kMsgHtmlDirEmpty = 9012;
inline constexpr int kMsgIndexDirEmpty = 9013;
inline constexpr int kMsgNoType = 9014;
inline constexpr int kMsgNoHits = 9015;
inline constexpr int kMsgNoSuchFolder = 9016;
inline constexpr int kAskStopBuild = 9017;
inline constexpr int kMsgIndexDirUsed = 9018;
inline constexpr int kAskOpenAsText = 9019;
inline constexpr int kMsgSearchStopped = 9020;
inline constexpr int kMsgFoundBefore = 9021;
inline constexpr int kMsgFoundAfter = 9022;
inline constexpr int kMsgFileGone = 9025;
inline constexpr int kMsgBookmarkMissing = 9026;
inline constexpr int kBuildNotBuilt = 9027;
inline constexpr int kMsgMailFileEmpty = 9028;
inline constexpr int kAskStartWizard = 9029;
inline constexpr int kAdvTabFilter = 11002;
inline constexpr int kAdvTabMail = 11003;
inline constexpr int kAdvGroupFilter = 11004;
inline constexpr int kAdvFilterName = 11005;
inline constexpr int kAdvFilterDate = 11006;
inline constexpr int kAdvFilterSize = 11007;
inline constexpr int kAdvFrom = 11008;
inline constexpr int kAdvTo = 11009;
inline constexpr int kAdvKB = 11010;
inline constexpr int kAdvAtLeast = 11011;
inline constexpr int kAdvAtMost = 11012;
inline constexpr int kAdvMailItems = 11013;
inline constexpr int kAdvMailSubject = 11014;
inline constexpr int kAdvMailSender = 11015;
inline constexpr int kAdvMailContent = 11016;
inline constexpr int kAdvMailFilter = 11017;
inline constexpr int kAdvMailDate = 11018;
inline constexpr int kTypeDocuments = 12001;
inline constexpr int kTypeMail = 12002;
inline constexpr int kMailTypeMbox = 12006;
inline constexpr int kMailTypeMbx = 12007;
inline constexpr int kMailTypeOther = 12008;
inline constexpr int kMailTypeOutlookExpress = 12010;
inline constexpr int kMailTypeOutlook = 12011;
inline constexpr int kPopAddBookmark = 12017;
inline constexpr int kWaitSearching = 12018;
inline constexpr int kMsgNoMailChosen = 12019;
inline constexpr int kToolFont = 12020;
inline constexpr int kMailFindDrive = 12025;
inline constexpr int kMailFindButton = 12026;
inline constexpr int kMailFindFound = 12027;
inline constexpr int kMailColumnName = 12028;
inline constexpr int kMailColumnFolder = 12029;
inline constexpr int kMailColumnSize = 12030;
inline constexpr int kMailColumnDate = 12031;
inline constexpr int kMailFindCaption = 12032;
inline constexpr int kMailFindStop = 12033;
inline constexpr int kMenuLexical = 12034;
inline constexpr int kWebSearch = 12039;
inline constexpr int kOptionsCaption = 12040;
inline constexpr int kOptionsTabHighlight = 12041;
inline constexpr int kOptionsTabText = 12042;
inline constexpr int kOptionsTabSearch = 12043;
inline constexpr int kOptionsColor = 12044;
inline constexpr int kOptionsBackground = 12045;
inline constexpr int kOptionsSize = 12046;
inline constexpr int kOptionsSize1 = 12047;
inline constexpr int kOptionsSize2 = 12048;
inline constexpr int kOptionsSize3 = 12049;
inline constexpr int kOptionsSize4 = 12050;
inline constexpr int kOptionsSize5 = 12051;
inline constexpr int kOptionsLabel1 = 12052;
inline constexpr int kOptionsLabel2 = 12053;
inline constexpr int kOptionsTextType = 12054;
inline constexpr int kOptionsAdd = 12055;
inline constexpr int kOptionsRemove = 12056;
inline constexpr int kOptionsFuzzy = 12057;
inline constexpr int kOptionsMatchRate = 12058;
inline constexpr int kOptionsPrecision = 12059;
inline constexpr int kOptionsResults = 12060;
inline constexpr int kOptionsPerPage = 12061;
inline constexpr int kBookmarkCaption = 12062;
inline constexpr int kBookmarkFile = 12063;
inline constexpr int kBookmarkNewFolder = 12065;
inline constexpr int kBookmarkSeparator = 12066;
inline constexpr int kBookmarkClose = 12067;
inline constexpr int kBookmarkRename = 12068;
inline constexpr int kBookmarkDelete = 12069;
inline constexpr int kBookmarkProperty = 12070;
inline constexpr int kBookmarkPtyCaption = 12071;
inline constexpr int kBookmarkPtyLabel = 12072;
inline constexpr int kDocPtyCaption = 12076;
inline constexpr int kDocPtyType = 12077;
inline constexpr int kDocPtyMailFile = 12078;
inline constexpr int kDocPtyDate = 12079;
inline constexpr int kDocPtyTitle = 12080;
inline constexpr int kDocPtySender = 12081;
inline constexpr int kWizardDefaultGroup = 12083;
inline constexpr int kMailFindHint = 12084;
inline constexpr int kBookmarkFilter = 12085;
inline constexpr int kBookmarkName = 12086;
inline constexpr int kOptionsSizeNone = 12087;
inline constexpr int kAskDeleteBookmark = 12088;
inline constexpr int kOptionsSample = 12089;
inline constexpr int kOptionsPerPageHint = 12090;
inline constexpr int kBookmarkRoot = 12091;
inline constexpr int kBookmarkSeparatorLabel = 12092;
inline constexpr int kTypePgx = 12101;
inline constexpr int kTypeHtml = 12102;
inline constexpr int kTypeText = 12103;
inline constexpr int kTypeWord = 12104;
inline constexpr int kTypeExcel = 12105;
inline constexpr int kTypePowerPoint = 12106;
inline constexpr int kTypePdf = 12107;
inline constexpr int kTypeRtf = 12108;
inline constexpr int kMailTypeLabel = 12109;
inline constexpr int kMailFileLabel = 12110;
inline constexpr int kEnvClose = 12111;
inline constexpr int kMailKindLabel = 12112;
inline constexpr int kWebLabel1 = 12113;
inline constexpr int kWebLabel2 = 12114;
inline constexpr int kWebLabel3 = 12115;
inline constexpr int kWebLabel4 = 12116;
inline constexpr int kWebScope1 = 12117;
inline constexpr int kWebScope2 = 12118;
inline constexpr int kWebScope3 = 12119;
inline constexpr int kWebScope0 = 12120;
inline constexpr int kWizardMailLast = 12122;
inline constexpr int kWebOperators = 12123;
inline constexpr int kMailHeaderSender = 12124;
inline constexpr int kMailHeaderDate = 12125;
inline constexpr int kMailHeaderSubject = 12126;
inline constexpr int kMailHeaderAttach = 12127;
inline constexpr int kMailFindListing = 12128;
inline constexpr int kMailFindNoLibrary = 12129;
inline constexpr int kOptionsPerPageLabel = 12130;
inline constexpr int kPagePrevious = 12131;
inline constexpr int kPageNext = 12132;
inline constexpr int kPageUnit = 12133;
inline constexpr int kPageHintBefore = 12135;
inline constexpr int kPageHintAfter = 12136;
inline constexpr int kMsgNotBig5 = 13001;
inline constexpr int kMsgShellFailed = 13002;
// An exception no handler caught: the program shows it and ends.
inline constexpr int kMsgProgramError = 13003;
inline constexpr int kMsgRequestTooLong = 13011;
inline constexpr int kMsgNoFreeDatabaseId = 13012;
// The advanced search's file filters need the keyword cache.
inline constexpr int kMsgFilterNeedsCache = 13041;
inline constexpr int kOptionsAnimate = 13042;

// Every number above, for the tables' test.
inline constexpr std::array kAllTextIds = {
    kTitleProduct, kTitleEdition, kTitleMaker, kTitleVersion, kMenuFile, kMenuWizard,
    kMenuIndex, kMenuOpen, kMenuSave, kMenuBrowser, kMenuPrint, kMenuClose, kMenuAddFolder,
    kMenuDelFolder, kMenuRename, kMenuProperty, kMenuEdit, kMenuCopy, kMenuPaste,
    kMenuDelete, kMenuSelectAll, kMenuView, kMenuDocument, kMenuLayout, kMenuPreview,
    kMenuShowBrief, kMenuShowFull, kMenuSort, kMenuSortName, kMenuSortTimes, kMenuSortTitle,
    kMenuSortDate, kMenuPath, kMenuSize, kMenuAuthor, kMenuType, kMenuSender, kMenuReceiver,
    kMenuAscending, kMenuDescending, kMenuSearch, kMenuSearcher, kMenuSearchAdv,
    kMenuHomophone, kMenuFault, kMenuClearHistory, kMenuTools, kMenuWebSearch, kMenuOptions,
    kMenuBookmark, kMenuAddBookmark, kMenuEditBookmarks, kMenuHelp, kMenuContents,
    kMenuVesprin, kMenuService, kMenuProduct, kMenuOnline, kMenuHome, kMenuAbout,
    kPopOpenFile, kPopFullText, kPopShowBrief, kPopShowFull, kPopCopy, kPopSelectAll,
    kPopAddFolder, kPopDelFolder, kPopRename, kPopProperty, kNewFolderName,
    kAskDeleteFolder, kAskDeleteDatabase, kBadFolderName, kMenuUpdate, kToolWizard,
    kToolIndex, kToolSearchAdv, kToolHelp, kLabelInput, kButtonSearch, kCheckHomophone,
    kCheckFault, kCheckLexical, kTreeHead, kTreeCaption, kColumnNumber, kColumnName,
    kColumnTimes, kColumnTitle, kColumnDate, kStatusReady, kStatusHits, kEnvCaption,
    kEnvDbName, kEnvHtmlDir, kEnvIndexDir, kEnvTypes, kEnvRebuild, kEnvColumnName,
    kEnvColumnTime, kEnvColumnStatus, kEnvOther, kEnvAttach, kLayoutCaption, kLayoutGroup,
    kLayoutLabel1, kLayoutLabel2, kLayoutToolBar, kLayoutTree, kLayoutList, kLayoutPreview,
    kAdvCaption, kAdvString, kAdvOperatorAnd, kAdvOperatorOr, kAdvOperatorNot,
    kWizardCaption, kWizardText2002, kWizardText2003, kWizardText2004, kWizardText2005,
    kWizardText2006, kWizardText2007, kWizardText2008, kWizardText2009, kWizardText2010,
    kWizardText2011, kWizardText2012, kWizardText2013, kWizardText2014, kWizardText2015,
    kWizardText2016, kWizardText2017, kWizardText2018, kWizardText2019, kWizardText2020,
    kWizardText2021, kWizardText2022, kWizardText2023, kWizardText2024, kWizardText2025,
    kWizardText2026, kWizardText2027, kWizardText2028, kWizardText2029, kWizardText2030,
    kWizardNext, kWizardPrevious, kWizardFinish, kWizardText2034, kWizardText2035,
    kWizardText2036, kWizardText2037, kWizardText2038, kWizardText2039, kWizardText2040,
    kWizardText2041, kWizardText2042, kWizardText2043, kWizardText2044, kWizardText2045,
    kWizardText2046, kWizardText2047, kTextExtCaption, kTextExtLabel, kButtonOk,
    kButtonCancel, kButtonAdd, kButtonRemove, kButtonApply, kBuildQueued, kBuildBuilding,
    kBuildBuilt, kBuildFailed, kBuildStopped, kCaptionError, kCaptionInformation,
    kMsgNoConfiguration, kMsgDatabaseAdded, kMsgDatabaseChanged, kAskRemoveDatabase,
    kCaptionQuestion, kMsgDatabaseRemoved, kMsgNameEmpty, kMsgHtmlDirEmpty,
    kMsgIndexDirEmpty, kMsgNoType, kMsgNoHits, kMsgNoSuchFolder, kAskStopBuild,
    kMsgIndexDirUsed, kAskOpenAsText, kMsgSearchStopped, kMsgFoundBefore, kMsgFoundAfter,
    kMsgFileGone, kMsgBookmarkMissing, kBuildNotBuilt, kMsgMailFileEmpty, kAskStartWizard,
    kAdvTabFilter, kAdvTabMail, kAdvGroupFilter, kAdvFilterName, kAdvFilterDate,
    kAdvFilterSize, kAdvFrom, kAdvTo, kAdvKB, kAdvAtLeast, kAdvAtMost, kAdvMailItems,
    kAdvMailSubject, kAdvMailSender, kAdvMailContent, kAdvMailFilter, kAdvMailDate,
    kTypeDocuments, kTypeMail, kMailTypeMbox, kMailTypeMbx, kMailTypeOther,
    kMailTypeOutlookExpress, kMailTypeOutlook, kPopAddBookmark, kWaitSearching,
    kMsgNoMailChosen, kToolFont, kMailFindDrive, kMailFindButton, kMailFindFound,
    kMailColumnName, kMailColumnFolder, kMailColumnSize, kMailColumnDate, kMailFindCaption,
    kMailFindStop, kMenuLexical, kWebSearch, kOptionsCaption, kOptionsTabHighlight,
    kOptionsTabText, kOptionsTabSearch, kOptionsColor, kOptionsBackground, kOptionsSize,
    kOptionsSize1, kOptionsSize2, kOptionsSize3, kOptionsSize4, kOptionsSize5,
    kOptionsLabel1, kOptionsLabel2, kOptionsTextType, kOptionsAdd, kOptionsRemove,
    kOptionsFuzzy, kOptionsMatchRate, kOptionsPrecision, kOptionsResults, kOptionsPerPage,
    kBookmarkCaption, kBookmarkFile, kBookmarkNewFolder, kBookmarkSeparator, kBookmarkClose,
    kBookmarkRename, kBookmarkDelete, kBookmarkProperty, kBookmarkPtyCaption,
    kBookmarkPtyLabel, kDocPtyCaption, kDocPtyType, kDocPtyMailFile, kDocPtyDate,
    kDocPtyTitle, kDocPtySender, kWizardDefaultGroup, kMailFindHint, kBookmarkFilter,
    kBookmarkName, kOptionsSizeNone, kAskDeleteBookmark, kOptionsSample,
    kOptionsPerPageHint, kBookmarkRoot, kBookmarkSeparatorLabel, kTypePgx, kTypeHtml,
    kTypeText, kTypeWord, kTypeExcel, kTypePowerPoint, kTypePdf, kTypeRtf, kMailTypeLabel,
    kMailFileLabel, kEnvClose, kMailKindLabel, kWebLabel1, kWebLabel2, kWebLabel3,
    kWebLabel4, kWebScope1, kWebScope2, kWebScope3, kWebScope0, kWizardMailLast,
    kWebOperators, kMailHeaderSender, kMailHeaderDate, kMailHeaderSubject, kMailHeaderAttach,
    kMailFindListing, kMailFindNoLibrary, kOptionsPerPageLabel, kPagePrevious, kPageNext,
    kPageUnit, kPageHintBefore, kPageHintAfter, kMsgNotBig5, kMsgShellFailed, kMsgProgramError,
    kMsgRequestTooLong,
    kMsgNoFreeDatabaseId,
    kMsgFilterNeedsCache, kOptionsAnimate,
};

// The pictures, by resource name.
inline constexpr std::array kAllBitmaps = {
    "IDB_ABOUT", "IDB_WAITMSG", "IDB_WEBFIND",
    "IDB_WELCOME", "IDB_WIZARD", "IDB_INDEXMSG"};

}  // namespace qm::text
