<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template match="/">
  <p><B>Attachments file list: </B>
  <xsl:apply-templates select="files"/></p>
</xsl:template>

<xsl:template match="files">
  <xsl:for-each select="file">
     <a href="{./@name}"><xsl:value-of select="./@name"/></a>  |  
  </xsl:for-each>
</xsl:template>

</xsl:stylesheet>
