// SPDX-License-Identifier: GPL-3.0-or-later
/*
 * Hand-written drive database in the smartmontools format, for Corvane's tests.
 * Entries below exercise one parsing rule each; "VERSION:" appears only once.
 */
const drive_settings builtin_knowndrives[] = {
  { "VERSION: 7.3 $Id: drivedb.h 5319 2022-02-19 17:48:34Z chrfranke $",
    "-", "-",
    "Version information",
    ""
  },
  { "DEFAULT",
    "-", "-",
    "Default settings",
    "-v 1,raw48,Raw_Read_Error_Rate "
    "-v 5,raw16(raw16),Reallocated_Sector_Ct "
    "-v 7,raw48,Seek_Error_Rate,HDD "
    //  14-174 Unknown_Attribute
    "-v 9,raw24(raw8),Power_On_Hours "
    "-v 12,raw48,Power_Cycle_Count "
    "-v 190,tempminmax,Airflow_Temperature_Cel "
    "-v 194,tempminmax,Temperature_Celsius "
    "-v 197,raw48,Current_Pending_Sector "
    "-v 199,raw48,UDMA_CRC_Error_Count"
  },
  { "Example Family One", // tested with EXAMPLE ONE-100/FW1
    "EXAMPLE ONE-[0-9]+", // trailing comment after the pattern
    "FW1",
    "",
    "-v 9,minutes -v 197,increasing -v 5,increasing "
    "-v 1,raw48,Raw_Read_Error_Rate,HDD "
    "-v 12,raw48,Pwr_Cycle_Ct "
    "-v 193,loadunload "
    "-v 12,raw16,Power_Cycle_Count_Again "
    "-F samsung3"
  },
  { "",
    "NOFAMILY MODEL",
    "",
    "This firmware is known to corrupt data.\n"
    "See https://www.example.org/fix//now for details \"urgent\"",
    ""
  },
  { "Split Pattern Family",
    "SPLIT (ALPHA|"
    "BETA)-[0-9]",
    "", "", ""
  },
  { "Block comment family",
  /* a comment between family and model,
   * as s